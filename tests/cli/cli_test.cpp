// The built orlovarnel-convert: arguments and exit statuses, prompt
// answers, progress output, options and log in the current folder, Ctrl-C.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/platform_file.h"

namespace {

using e2e::RunConverter;

std::string MakeArchive(const testutil::TempDir& dir, const std::string& name,
                        mkarchive::ArchiveSettings settings) {
  std::string error;
  EXPECT_TRUE(mkarchive::WriteArchive(dir.File(name), settings, &error)) << error;
  return dir.File(name);
}

mkarchive::ArchiveSettings WithSetupFile(int64_t frames) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = frames;
  settings.setup_file.write = true;
  return settings;
}

mkarchive::ArchiveSettings WithoutSetupFile(int64_t frames) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = frames;
  settings.setup_file.write = false;
  return settings;
}

using testutil::CountOf;

TEST(ConverterCli, VersionHelpAndUsageErrors) {
  testutil::TempDir dir;
  e2e::CliRun run = RunConverter(dir.path(), "--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "OrloVarnel 1.00\n");

  run = RunConverter(dir.path(), "--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("Usage: orlovarnel-convert [--retain-pack] [--word-length N] "
                          "[--sfid-msb N] [--quiet] [--output-dir DIR] [--verify] [--json] "
                          "[--skip-complete] [--jobs N] [--gap-map] ARCHIVE...\n",
                          0),
            0u);
  // Every option has its line in the help and its entry in the man page.
  const std::string man =
      testutil::ReadAllText(std::string(ORLO_SOURCE_DIR) + "/packaging/orlovarnel-convert.1");
  for (std::string option : {"--output-dir", "--verify", "--retain-pack", "--word-length",
                             "--sfid-msb", "--quiet", "--help", "--version"}) {
    EXPECT_NE(run.out.find("\n  " + option + " "), std::string::npos) << option;
    std::string roff;
    for (char ch : option) roff += ch == '-' ? std::string("\\-") : std::string(1, ch);
    EXPECT_NE(man.find(roff), std::string::npos) << option;
  }

  for (const char* args : {"", "--bogus a.Ark", "--word-length abc a.Ark", "--word-length",
                           "--sfid-msb=1.5 a.Ark", "--quiet"}) {
    run = RunConverter(dir.path(), args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("Usage: orlovarnel-convert"), std::string::npos) << args;
    EXPECT_TRUE(run.out.empty()) << args;
  }
  // Usage errors and --version start no log.
  EXPECT_FALSE(FileExists(dir.File("OrloVarnel.Log")));
}

TEST(ConverterCli, AnArchiveThatCannotBeOpenedGivesStatusOneAndTheRestConverts) {
  testutil::TempDir dir;
  MakeArchive(dir, "GOOD.Ark", WithSetupFile(200));
  e2e::CliRun run = RunConverter(dir.path(), "--quiet MISSING.Ark GOOD.Ark");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(dir.File("MISSING.Ark") + ": could not be opened\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find(dir.File("GOOD.Ark") + ": Conversion Complete, frames 208 (fill 0), "),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("ERROR: Could not open ARK file for reading\n"), std::string::npos)
      << run.err;
  EXPECT_TRUE(FileExists(dir.File("Ch10Conversion/GOOD.ch10")));
  EXPECT_TRUE(FileExists(dir.File("Ch10Conversion/GOOD.CvtNotes")));
  EXPECT_FALSE(FileExists(dir.File("Ch10Conversion/GOOD.arkpak")));

  run = RunConverter(dir.path(), "GOOD.Ark");
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST(ConverterCli, PromptAnswersAndTheirRange) {
  testutil::TempDir dir;
  MakeArchive(dir, "P.Ark", WithoutSetupFile(64));

  // No answers: both prompts keep their defaults (16 bits; N = 64, S = 0
  // gives SFID MSB 5), and say so.
  e2e::CliRun run = RunConverter(dir.path(), "P.Ark");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Enter the Common Word Length: 16 (default; see --word-length)"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("Enter the SFID MSB: 5 (default; see --sfid-msb)"), std::string::npos);
  auto notes = e2e::NotesValues(testutil::ReadAllText(dir.File("Ch10Conversion/P.CvtNotes")));
  EXPECT_EQ(notes["CWL"], "16");
  EXPECT_EQ(notes["SFID MSB"], "5");

  // Out of range: pulled to the nearer bound, with a warning.
  run = RunConverter(dir.path(), "--quiet --word-length 20 --sfid-msb=-4 P.Ark");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("warning: --word-length 20 is outside the range 3 to 16; 16 is used"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("warning: --sfid-msb -4 is outside the range 0 to 5; 0 is used"),
            std::string::npos)
      << run.err;
  notes = e2e::NotesValues(testutil::ReadAllText(dir.File("Ch10Conversion/P.CvtNotes")));
  EXPECT_EQ(notes["CWL"], "16");
  EXPECT_EQ(notes["SFID MSB"], "0");

  run = RunConverter(dir.path(), "--quiet --word-length 8 --sfid-msb 4 P.Ark");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
  notes = e2e::NotesValues(testutil::ReadAllText(dir.File("Ch10Conversion/P.CvtNotes")));
  EXPECT_EQ(notes["CWL"], "8");
  EXPECT_EQ(notes["Bits Per Minor"], "128");
  EXPECT_EQ(notes["SFID MSB"], "4");

  // An archive with a usable setup file asks nothing.
  MakeArchive(dir, "S.Ark", WithSetupFile(64));
  run = RunConverter(dir.path(), "--word-length 20 S.Ark");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
}

TEST(ConverterCli, ProgressLinesOnAPipeAndQuietSilence) {
  testutil::TempDir dir;
  // 750 blocks (pump every 101) and about 120 PCM packets.
  MakeArchive(dir, "BIG.Ark", WithSetupFile(12000));
  e2e::CliRun run = RunConverter(dir.path(), "BIG.Ark");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos);  // not a terminal: plain lines
  // One line per tenth of the archive read, at most: 750 blocks give 7 pumps.
  EXPECT_GE(CountOf(run.err, "BIG  "), 3) << run.err;
  EXPECT_LE(CountOf(run.err, "BIG  "), 11) << run.err;
  EXPECT_EQ(run.err.find("pass"), std::string::npos) << run.err;  // one pass: not named
  EXPECT_NE(run.err.find("%  frames "), std::string::npos);
  EXPECT_NE(run.err.find("  packets "), std::string::npos);
  EXPECT_NE(run.err.find("  archive time 123:12:3"), std::string::npos);
  // Exactly one summary line on standard output.
  EXPECT_EQ(CountOf(run.out, "\n"), 1) << run.out;
  EXPECT_NE(run.out.find("Conversion Complete"), std::string::npos);

  run = RunConverter(dir.path(), "--quiet BIG.Ark");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(CountOf(run.out, "\n"), 1);
}

TEST(ConverterCli, OptionsAndLogLiveInTheCurrentFolder) {
  testutil::TempDir work;
  testutil::TempDir data;
  MakeArchive(data, "R.Ark", WithSetupFile(100));
  testutil::WriteAllText(work.File("OrloVarnel.Opt"),
                         "[Main Area]\r\nRetainTempArkPackFile=YES\r\nJunk=1\r\n");

  // Without --retain-pack the pack file goes, whatever the window chose.
  e2e::CliRun run = RunConverter(work.path(), "--quiet '" + data.File("R.Ark") + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(FileExists(data.File("Ch10Conversion/R.arkpak")));
  std::string options = testutil::ReadAllText(work.File("OrloVarnel.Opt"));
  EXPECT_NE(options.find("LastArchiveDir=" + data.path() + "/\r\n"), std::string::npos) << options;
  EXPECT_NE(options.find("RetainTempArkPackFile=YES\r\n"), std::string::npos) << options;
  EXPECT_EQ(options.find("Junk"), std::string::npos);

  run = RunConverter(work.path(), "--retain-pack --quiet '" + data.File("R.Ark") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(FileExists(data.File("Ch10Conversion/R.arkpak")));
  EXPECT_FALSE(testutil::ReadAllBytes(data.File("Ch10Conversion/R.arkpak")).empty());

  std::string log = testutil::ReadAllText(work.File("OrloVarnel.Log"));
  EXPECT_NE(log.find("------------------PROGRAM START--------------------"), std::string::npos);
  EXPECT_NE(log.find("Program Version 1.00"), std::string::npos);
  EXPECT_EQ(CountOf(log, "---------------  BEGIN ARK TO CH10 CONVERSION   ----------"), 1);
  EXPECT_EQ(CountOf(log, "---------------  END ARK TO CH10 CONVERSION   ----------"), 1);
  EXPECT_NE(log.find("------------------PROGRAM END--------------------"), std::string::npos);
  EXPECT_FALSE(FileExists(data.File("OrloVarnel.Log")));
}

TEST(ConverterCli, UnwritableOutputEndsAbortedWithStatusOne) {
  testutil::TempDir dir;
  MakeArchive(dir, "U.Ark", WithSetupFile(100));
  testutil::WriteAllText(dir.File("Ch10Conversion"), "a file, not a folder");
  e2e::CliRun run = RunConverter(dir.path(), "--quiet U.Ark");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(": Conversion Aborted"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Complete"), std::string::npos);
  EXPECT_NE(run.err.find("ERROR: Could not create the output folder "), std::string::npos)
      << run.err;
}

// Starts the converter in `folder` with stdout and stderr going to files.
pid_t StartConverter(const std::string& folder, const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(folder.c_str()) != 0) _exit(126);
  int out = open((folder + "/.stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err = open((folder + "/.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(out, 1);
  dup2(err, 2);
  std::string path = e2e::ConverterPath();
  std::vector<char*> argv;
  argv.push_back(path.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(path.c_str(), argv.data());
  _exit(127);
}

TEST(ConverterCli, CtrlCAbortsCleanlyAndSkipsTheRest) {
  testutil::TempDir dir;
  mkarchive::ArchiveSettings settings = WithSetupFile(150000);
  settings.words_per_frame = 64;  // about 20 MB
  MakeArchive(dir, "LONG.Ark", settings);
  MakeArchive(dir, "NEXT.Ark", WithSetupFile(100));

  pid_t pid = StartConverter(dir.path(), {"LONG.Ark", "NEXT.Ark"});
  ASSERT_GT(pid, 0);
  // Interrupt once the first progress line shows the run is under way.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (testutil::ReadAllText(dir.File(".stderr")).find("%  frames ") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);

  std::string out = testutil::ReadAllText(dir.File(".stdout"));
  EXPECT_NE(out.find(dir.File("LONG.Ark") + ": Conversion Aborted"), std::string::npos) << out;
  EXPECT_EQ(out.find("NEXT.Ark"), std::string::npos) << out;
  EXPECT_FALSE(FileExists(dir.File("Ch10Conversion/NEXT.ch10")));
  // The files were closed cleanly: a whole Chapter 10 file and the notes.
  std::vector<testutil::Ch10Packet> packets;
  std::string error;
  EXPECT_TRUE(
      testutil::ReadCh10File(dir.File("Ch10Conversion/LONG.ch10.partial"), packets, error))
      << error;
  EXPECT_GE(packets.size(), 2u);
  EXPECT_FALSE(FileExists(dir.File("Ch10Conversion/LONG.ch10")));
  const std::string notes_text =
      testutil::ReadAllText(dir.File("Ch10Conversion/LONG.CvtNotes.partial"));
  auto notes = e2e::NotesValues(notes_text);
  EXPECT_LT(std::stod(notes["Ark file Vald Frame Count"]), 150000.0);
  // The notes and the log say the run was aborted, and why.
  EXPECT_NE(notes_text.find("Conversion Aborted by the operator: the Ch10 file ends where the "
                            "conversion stopped\r\nOutputs of this conversion kept as "),
            std::string::npos)
      << notes_text;
  EXPECT_NE(testutil::ReadAllText(dir.File(".stderr"))
                .find("orlovarnel-convert: " + dir.File("LONG.Ark") + ": conversion aborted by the operator (Ctrl-C)"),
            std::string::npos);
  EXPECT_FALSE(FileExists(dir.File("Ch10Conversion/LONG.arkpak")));
  std::string log = testutil::ReadAllText(dir.File("OrloVarnel.Log"));
  EXPECT_NE(log.find("END ARK TO CH10 CONVERSION"), std::string::npos);
  EXPECT_NE(log.find("Conversion Aborted by the operator\r\n"), std::string::npos);
  EXPECT_NE(log.find("PROGRAM END"), std::string::npos);
}

}  // namespace
