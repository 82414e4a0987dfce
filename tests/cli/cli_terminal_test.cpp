// On a terminal the progress display is one line redrawn in place and
// cleared before the archive's summary.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_support.h"

namespace {

TEST(ConverterCliTerminal, ProgressIsRedrawnInPlace) {
  testutil::TempDir dir;
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 12000;
  settings.setup_file.write = true;
  std::string error;
  ASSERT_TRUE(mkarchive::WriteArchive(dir.File("TTY.Ark"), settings, &error)) << error;

  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(master);
    if (chdir(dir.path().c_str()) != 0) _exit(126);
    int out = open(dir.File(".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(slave, 2);
    std::string path = e2e::ConverterPath();
    execl(path.c_str(), path.c_str(), "TTY.Ark", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(slave);
  std::string shown;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the child has gone
    shown.append(buffer, static_cast<size_t>(n));
  }
  close(master);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  EXPECT_EQ(shown.rfind("\rTTY  ", 0), 0u) << shown;
  EXPECT_NE(shown.find("%  frames "), std::string::npos);
  EXPECT_EQ(shown.find('\n'), std::string::npos) << shown;  // no line ends at all
  // The line is cleared at the end, before the summary on standard output.
  ASSERT_GE(shown.size(), 4u);
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
  EXPECT_NE(testutil::ReadAllText(dir.File(".stdout")).find("Conversion Complete"),
            std::string::npos);
}

}  // namespace
