// orlovarnel-convert among other runs and a hostile world: parallel batches
// in one start folder, stop signals, a standard output whose reader has
// gone, paths with control characters, and links planted at the names of
// the log and the options file.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/ini_file.h"
#include "support/platform_file.h"

namespace {

namespace fs = std::filesystem;

const char kBegin[] = "---------------  BEGIN ARK TO CH10 CONVERSION   ----------";
const char kEnd[] = "---------------  END ARK TO CH10 CONVERSION   ----------";
const char kProgramEnd[] = "------------------PROGRAM END--------------------";

mkarchive::ArchiveSettings Frames(int64_t frames, int32_t words_per_frame = 16) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = frames;
  settings.words_per_frame = words_per_frame;
  settings.setup_file.write = true;
  return settings;
}

using e2e::WriteTestArchive;
using testutil::CountOf;
using testutil::SplitLines;

// The log's last line, without its CR LF.
std::string LastLogLine(const std::string& log) {
  const std::vector<std::string> lines = SplitLines(log, "\r\n");
  return lines.empty() ? std::string() : lines.back();
}

// Starts the converter in `folder` with its standard output on `out_fd`
// (a file of the folder when -1) and standard error on a file; signals at
// their defaults, whatever the test program does with them.
pid_t Spawn(const std::string& folder, const std::vector<std::string>& args, int out_fd = -1) {
  // Not the last run's: WaitForProgress must see this run's lines.
  std::remove((folder + "/.stderr").c_str());
  pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(folder.c_str()) != 0) _exit(126);
  if (out_fd < 0) out_fd = open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err = open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(out_fd, 1);
  dup2(err, 2);
  for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
  std::string path = e2e::ConverterPath();
  std::vector<std::string> copies = args;
  std::vector<char*> argv{path.data()};
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(path.c_str(), argv.data());
  _exit(127);
}

int Wait(pid_t pid) {
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  return status;
}

// Waits until the converter's first progress line shows a run under way.
void WaitForProgress(const std::string& folder) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (testutil::ReadAllText(folder + "/.stderr").find("%  frames ") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Two batches of 20 archives at once, all in the start folder: both share
// the log, the options file and the Ch10Conversion folder (which the first
// to get there creates).
TEST(StartFolderCli, ParallelBatchesKeepEveryBannerAndAReadableOptionsFile) {
  testutil::TempDir dir;
  for (int i = 0; i < 40; ++i) {
    WriteTestArchive(dir, "T" + std::to_string(10 + i) + ".Ark", Frames(6000));
    ASSERT_FALSE(testing::Test::HasFatalFailure());
  }
  const std::string command = "cd '" + dir.path() + "' && ls *.Ark | xargs -P2 -n 20 '" +
                              e2e::ConverterPath() + "' --quiet >.stdout 2>.stderr";
  const int rc = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(rc)) << rc;
  EXPECT_EQ(WEXITSTATUS(rc), 0) << testutil::ReadAllText(dir.File(".stderr"));
  EXPECT_EQ(CountOf(testutil::ReadAllText(dir.File(".stdout")), ": Conversion Complete, "), 40);

  const std::string log = testutil::ReadAllText(dir.File("OrloVarnel.Log"));
  EXPECT_EQ(CountOf(log, kBegin), 40);
  EXPECT_EQ(CountOf(log, kEnd), 40);
  EXPECT_EQ(CountOf(log, "------------------PROGRAM START--------------------"), 2);
  EXPECT_EQ(CountOf(log, kProgramEnd), 2);
  const std::regex whole(R"(\d{6}  \d{3}:\d{2}:\d{2}:\d{2}\.\d{6}  [ -~]*)");
  for (const std::string& line : SplitLines(log, "\r\n")) {
    EXPECT_TRUE(std::regex_match(line, whole)) << line;
  }

  IniFile options;
  ASSERT_TRUE(options.Load(dir.File("OrloVarnel.Opt")));
  std::string value;
  EXPECT_TRUE(options.Find("Main Area", "LastArchiveDir", value));
  EXPECT_TRUE(options.Find("Main Area", "RetainTempArkPackFile", value));
  EXPECT_TRUE(options.Find("Position Area", "MainScreenPos.left", value));
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "OrloVarnel.Opt" || name.rfind("OrloVarnel.Opt", 0) != 0) << name;
  }
}

// SIGTERM and SIGHUP end a run as Ctrl-C does: aborted, notes written, the
// end banners in the log, status 1, the next archive not started. Two stop
// signals at once: the first aborts, the second ends the process.
TEST(StartFolderCli, StopSignalsEndTheRunLikeCtrlC) {
  testutil::TempDir dir;
  WriteTestArchive(dir, "LONG.Ark", Frames(400000, 64));  // about 54 MB
  WriteTestArchive(dir, "NEXT.Ark", Frames(100));
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  for (int signal_number : {SIGTERM, SIGHUP}) {
    const std::string name = signal_number == SIGTERM ? "SIGTERM" : "SIGHUP";
    SCOPED_TRACE(name);
    fs::remove_all(dir.File("Ch10Conversion"));
    pid_t pid = Spawn(dir.path(), {"LONG.Ark", "NEXT.Ark"});
    ASSERT_GT(pid, 0);
    WaitForProgress(dir.path());
    kill(pid, signal_number);
    const int status = Wait(pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);

    const std::string out = testutil::ReadAllText(dir.File(".stdout"));
    EXPECT_NE(out.find(dir.File("LONG.Ark") + ": Conversion Aborted"), std::string::npos) << out;
    EXPECT_EQ(out.find("NEXT.Ark"), std::string::npos) << out;
    EXPECT_NE(testutil::ReadAllText(dir.File(".stderr"))
                  .find(dir.File("LONG.Ark") + ": conversion aborted by the operator (" + name + ")"),
              std::string::npos);
    // The notes of the aborted run say so, kept beside where the complete
    // outputs would go.
    int aborted_notes = 0;
    for (const auto& entry : fs::directory_iterator(dir.File("Ch10Conversion"))) {
      const std::string file = entry.path().string();
      EXPECT_EQ(file.find("NEXT."), std::string::npos) << file;
      EXPECT_FALSE(file.ends_with(".converting") || file.ends_with(".lock")) << file;
      if (file.ends_with(".CvtNotes.partial") &&
          testutil::ReadAllText(file).find("Conversion Aborted") != std::string::npos) {
        ++aborted_notes;
      }
    }
    EXPECT_EQ(aborted_notes, 1);
    const std::string log = testutil::ReadAllText(dir.File("OrloVarnel.Log"));
    EXPECT_EQ(CountOf(log, kEnd), 1);
    EXPECT_NE(log.find("Conversion Aborted by the operator\r\n"), std::string::npos);
    EXPECT_EQ(LastLogLine(log).substr(29), kProgramEnd);
  }

  // Held stopped, the process gets both signals pending and handles them
  // on waking: the first sets the abort, the second ends the process.
  pid_t pid = Spawn(dir.path(), {"LONG.Ark"});
  ASSERT_GT(pid, 0);
  WaitForProgress(dir.path());
  kill(pid, SIGSTOP);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
  ASSERT_TRUE(WIFSTOPPED(status));
  kill(pid, SIGINT);
  kill(pid, SIGTERM);
  kill(pid, SIGCONT);
  status = Wait(pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exited with " << WEXITSTATUS(status);
  EXPECT_TRUE(WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGTERM) << WTERMSIG(status);
}

// Once standard output has lost its reader, no further archive is started;
// the run ends with status 1, not killed by SIGPIPE, and the log ends with
// its end banner.
TEST(StartFolderCli, AClosedStandardOutputEndsTheBatchCleanly) {
  testutil::TempDir dir;
  WriteTestArchive(dir, "A.Ark", Frames(200));
  WriteTestArchive(dir, "B.Ark", Frames(400000, 64));  // long enough for head to be gone
  WriteTestArchive(dir, "C.Ark", Frames(200));
  ASSERT_FALSE(testing::Test::HasFatalFailure());

  // The pipe's reader is gone before the first line: A's summary fails.
  fs::remove_all(dir.File("Ch10Conversion"));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  pid_t pid = Spawn(dir.path(), {"--quiet", "A.Ark", "B.Ark", "C.Ark"}, fds[1]);
  close(fds[1]);
  ASSERT_GT(pid, 0);
  int status = Wait(pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_TRUE(FileExists(dir.File("Ch10Conversion/A.ch10")));
  EXPECT_FALSE(FileExists(dir.File("Ch10Conversion/B.ch10")));
  EXPECT_EQ(testutil::ReadAllText(dir.File(".stderr")),
            "orlovarnel-convert: standard output: " + SystemErrorText(EPIPE) +
                ": no further archive is converted\n");
  std::string log = testutil::ReadAllText(dir.File("OrloVarnel.Log"));
  EXPECT_EQ(CountOf(log, kBegin), 1);
  EXPECT_EQ(LastLogLine(log).substr(29), kProgramEnd);

  // `| head -1`: head takes A's line and goes; B's summary fails.
  fs::remove_all(dir.File("Ch10Conversion"));
  signal(SIGPIPE, SIG_DFL);  // as a shell would start it: a write to the pipe could kill it
  const std::string command = "cd '" + dir.path() + "' && bash -c \"'" +
                              e2e::ConverterPath() +
                              "' --quiet A.Ark B.Ark C.Ark 2>.stderr | head -1 >.stdout; "
                              "exit \\${PIPESTATUS[0]}\"";
  const int rc = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(rc));
  EXPECT_EQ(WEXITSTATUS(rc), 1) << "128 + 13 would be a SIGPIPE death";
  EXPECT_EQ(SplitLines(testutil::ReadAllText(dir.File(".stdout"))).size(), 1u);
  EXPECT_TRUE(FileExists(dir.File("Ch10Conversion/B.ch10")));
  EXPECT_FALSE(FileExists(dir.File("Ch10Conversion/C.ch10")));
  log = testutil::ReadAllText(dir.File("OrloVarnel.Log"));
  EXPECT_EQ(CountOf(log, kEnd), 2);
  EXPECT_EQ(LastLogLine(log).substr(29), kProgramEnd);
}

// A newline or tab in a path: the summaries, the progress lines and the
// reasons stay one line each, the path quoted as a C string.
TEST(StartFolderCli, PathsWithControlCharactersStayOnOneLine) {
  testutil::TempDir dir;
  mkarchive::ArchiveSettings damaged = Frames(3000);
  damaged.time_shifts = {{100, 3600LL * 1000000, false}};  // a warning names the archive
  WriteTestArchive(dir, "new\nline.Ark", damaged);
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  pid_t pid = Spawn(dir.path(), {"new\nline.Ark", "no\tsuch.Ark"});
  ASSERT_GT(pid, 0);
  const int status = Wait(pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);

  const std::string quoted = "\"" + dir.path() + "/new\\nline.Ark\"";
  const std::string missing = "\"" + dir.path() + "/no\\tsuch.Ark\"";
  const std::vector<std::string> out = SplitLines(testutil::ReadAllText(dir.File(".stdout")));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].rfind(quoted + ": Conversion Complete, frames ", 0), 0u) << out[0];
  EXPECT_TRUE(out[0].ends_with(" -> \"" + dir.path() + "/Ch10Conversion/new\\nline.ch10\""))
      << out[0];
  EXPECT_EQ(out[1], missing + ": could not be opened");
  int warnings = 0, progress = 0;
  for (const std::string& line : SplitLines(testutil::ReadAllText(dir.File(".stderr")))) {
    if (line.rfind("\"new\\nline\"  ", 0) == 0) {
      ++progress;
    } else if (line.rfind("orlovarnel-convert: " + quoted + ": warning: ", 0) == 0) {
      ++warnings;
    } else {
      EXPECT_TRUE(line == "orlovarnel-convert: " + missing + ": no such file" ||
                  line == "ERROR: Could not open ARK file for reading")
          << line;
    }
  }
  EXPECT_GE(progress, 2);
  EXPECT_EQ(warnings, 1);
}

// Links at the log's and the options file's names and at the old fixed
// temporary name: none is written through; the log says once why it is
// silent, and the conversion goes on.
TEST(StartFolderCli, LinksAtTheLogAndOptionsNamesAreNotFollowed) {
  testutil::TempDir dir;
  WriteTestArchive(dir, "A.Ark", Frames(200));
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  testutil::WriteAllText(dir.File("victim"), "precious\n");
  for (const char* name : {"OrloVarnel.Log", "OrloVarnel.Opt"}) {
    ASSERT_EQ(symlink(dir.File("victim").c_str(), dir.File(name).c_str()), 0);
  }
  ASSERT_EQ(symlink(dir.File("absent").c_str(), dir.File("OrloVarnel.Opt.tmp").c_str()), 0);
  const e2e::CliRun run = e2e::RunConverter(dir.path(), "--quiet A.Ark");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "orlovarnel-convert: " + dir.File("OrloVarnel.Log") +
                         ": is a symbolic link: it is not followed, and nothing is logged\n");
  EXPECT_EQ(testutil::ReadAllText(dir.File("victim")), "precious\n");
  EXPECT_FALSE(fs::exists(dir.File("absent")));
  EXPECT_TRUE(fs::is_symlink(dir.File("OrloVarnel.Log")));
  EXPECT_FALSE(fs::is_symlink(dir.File("OrloVarnel.Opt")));
  IniFile options;
  ASSERT_TRUE(options.Load(dir.File("OrloVarnel.Opt")));
  std::string value;
  EXPECT_TRUE(options.Find("Main Area", "LastArchiveDir", value));
}

}  // namespace
