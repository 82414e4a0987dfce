// Exit statuses and the one-line reasons on standard error: clean, with
// warnings (status 3), refused or aborted (status 1), and a file-size
// limit under `ulimit -f`, which must end the run as a write error.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/log_session.h"
#include "e2e/e2e_support.h"
#include "shell/conversion_driver.h"
#include "support/platform_file.h"

namespace {

using e2e::RunConverter;
using e2e::WriteTestArchive;

mkarchive::ArchiveSettings Good(int64_t frames = 320) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = frames;
  settings.setup_file.write = true;
  return settings;
}

TEST(ConverterCliOutcomes, StatusAndOneLinePerReason) {
  struct Case {
    const char* name;
    std::function<void(const testutil::TempDir&)> make;  // writes A.Ark
    int status;
    std::string reason;  // after "orlovarnel-convert: <path>: "; empty: no such line
  };
  auto damaged = Good();
  damaged.time_shifts = {{100, 3600LL * 1000000, false}};
  auto cut = Good();
  cut.cut_tail_bytes = 50;
  auto short_setup = Good();
  short_setup.setup_file.record_bytes = 300;
  auto wrong_rate = Good();
  wrong_rate.line_overrides = {{20, "MINOR FRAME RATE: 2000"}};
  auto no_block = Good(16);
  no_block.cut_tail_bytes = 20;
  const Case cases[] = {
      {"clean", [](auto& d) { WriteTestArchive(d, "A.Ark", Good()); }, 0, ""},
      {"damaged stamp", [&](auto& d) { WriteTestArchive(d, "A.Ark", damaged); }, 3,
       "warning: 1 frame time stamp was out of step and kept in place (see the log)"},
      {"cut last block", [&](auto& d) { WriteTestArchive(d, "A.Ark", cut); }, 3,
       "warning: the archive ends inside its last block: "},
      {"setup file cut short", [&](auto& d) { WriteTestArchive(d, "A.Ark", short_setup); }, 3,
       "warning: setup file "},
      {"header rate disagrees", [&](auto& d) { WriteTestArchive(d, "A.Ark", wrong_rate); }, 3,
       "warning: 319 of 319 frame steps disagree with the header's frame rate of 2000.00 Hz"},
      {"no such file", [](auto&) {}, 1, "no such file"},
      {"not an archive", [](auto& d) { testutil::WriteAllText(d.File("A.Ark"), "hello\r\n"); }, 1,
       "not an archive: first line is not \"QUORVANT 8.0 ARCHIVE FILE FORMAT\""},
      {"no whole block", [&](auto& d) { WriteTestArchive(d, "A.Ark", no_block); }, 1, "no whole frame block: "},
  };
  for (const Case& c : cases) {
    testutil::TempDir dir;
    c.make(dir);
    e2e::CliRun run = RunConverter(dir.path(), "--quiet A.Ark");
    EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.out << run.err;
    const std::string lead = "orlovarnel-convert: " + dir.File("A.Ark") + ": ";
    if (c.reason.empty()) {
      EXPECT_EQ(run.err.find("orlovarnel-convert: "), std::string::npos) << c.name << "\n" << run.err;
    } else {
      EXPECT_NE(run.err.find(lead + c.reason), std::string::npos) << c.name << "\n" << run.err;
    }
  }
}

TEST(ConverterCliOutcomes, UnreadableArchiveSaysPermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  testutil::TempDir dir;
  WriteTestArchive(dir, "A.Ark", Good());
  ASSERT_EQ(chmod(dir.File("A.Ark").c_str(), 0), 0);
  e2e::CliRun run = RunConverter(dir.path(), "--quiet A.Ark");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("orlovarnel-convert: " + dir.File("A.Ark") + ": permission denied\n"), std::string::npos)
      << run.err;
}

// A refusal outweighs warnings; warnings outweigh clean archives.
TEST(ConverterCliOutcomes, WorstArchiveDecidesTheStatus) {
  testutil::TempDir dir;
  auto damaged = Good();
  damaged.time_shifts = {{100, -6000000, false}};
  WriteTestArchive(dir, "CLEAN.Ark", Good());
  WriteTestArchive(dir, "DAMAGED.Ark", damaged);
  EXPECT_EQ(RunConverter(dir.path(), "--quiet CLEAN.Ark DAMAGED.Ark").status, 3);
  EXPECT_EQ(RunConverter(dir.path(), "--quiet DAMAGED.Ark MISSING.Ark CLEAN.Ark").status, 1);
  EXPECT_EQ(RunConverter(dir.path(), "--quiet CLEAN.Ark").status, 0);
}

// A file-size limit makes the writes fail with EFBIG: the run ends aborted
// with status 1, the notes are written and say so, the pack file is gone.
TEST(ConverterCliOutcomes, FileSizeLimitIsAWriteError) {
  testutil::TempDir dir;
  mkarchive::ArchiveSettings settings = Good(16 * 400);
  settings.words_per_frame = 64;  // about 900 KB of pack data
  WriteTestArchive(dir, "BIG.Ark", settings);
  // 400 blocks of 512 bytes: room for the log and the notes, not the pack file.
  const std::string command = "cd '" + dir.path() + "' && ulimit -f 400 && '" + e2e::ConverterPath() +
                              "' --quiet BIG.Ark >out.txt 2>err.txt; echo $? >status.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(testutil::ReadAllText(dir.File("status.txt")), "1\n");
  const std::string err = testutil::ReadAllText(dir.File("err.txt"));
  EXPECT_NE(err.find("BIG.Ark: conversion aborted: an output could not be written: " + SystemErrorText(EFBIG)),
            std::string::npos)
      << err;
  EXPECT_NE(testutil::ReadAllText(dir.File("out.txt")).find("Conversion Aborted"), std::string::npos);
  // Kept under the partial names, none under the final ones.
  const std::string notes = testutil::ReadAllText(dir.File("Ch10Conversion/BIG.CvtNotes.partial"));
  EXPECT_NE(notes.find(std::string(kNotesOutputFailedText) + "\r\n" + kKeptPartialPrefix),
            std::string::npos)
      << notes;
  for (const char* name : {"BIG.ch10", "BIG.CvtNotes", "BIG.arkpak", "BIG.arkpak.partial"}) {
    EXPECT_FALSE(FileExists(dir.File(std::string("Ch10Conversion/") + name))) << name;
  }
  const std::string log = testutil::ReadAllText(dir.File("OrloVarnel.Log"));
  EXPECT_NE(log.find(kLogOutputFailedText + SystemErrorText(EFBIG)), std::string::npos) << log;
  EXPECT_NE(log.find("END ARK TO CH10 CONVERSION"), std::string::npos);
}

// Written to a pipe, the progress ends with a line naming the outcome.
// Only regular files are archives, and a header frame rate that the frame
// times contradict (or that is too fast for them) is refused: each at once,
// with its reason, before any output or output folder exists.
TEST(ConverterCliOutcomes, NonArchivesAndImplausibleRatesAreRefusedBeforeAnyOutput) {
  auto with_rate_line = [](const char* line) {
    mkarchive::ArchiveSettings settings = Good(2000);
    settings.line_overrides = {{20, line}};
    return settings;
  };
  auto too_fast = Good(2000);
  too_fast.frame_rate_hz = 2e6;
  struct Case {
    const char* name;
    std::function<void(const testutil::TempDir&)> make;
    std::string archive;     // as given; relative to the folder
    std::string stdin_file;  // in the folder; empty: /dev/null
    std::string reason;
  };
  const std::string rate_refused = "header refused: Archive Header Minor Frame Rate Of ";
  const Case cases[] = {
      {"a folder", [](auto& d) { std::filesystem::create_directory(d.File("A.Ark")); }, "A.Ark", "",
       "is a folder, not an archive file"},
      {"a FIFO", [](auto& d) { ASSERT_EQ(mkfifo(d.File("A.Ark").c_str(), 0644), 0); }, "A.Ark", "",
       "is a FIFO (named pipe), not an archive file"},
      {"a device", [](auto&) {}, "/dev/null", "", "is a character device, not an archive file"},
      {"standard input holding an archive", [](auto& d) { WriteTestArchive(d, "IN.Ark", Good()); }, "/dev/stdin", "IN.Ark",
       "is a descriptor of a process (such as standard input), not an archive file"},
      {"1e9 Hz", [&](auto& d) { WriteTestArchive(d, "A.Ark", with_rate_line("MINOR FRAME RATE: 1e9")); }, "A.Ark", "",
       rate_refused + "1e+09 Hz Disagrees With Its Frame Times, Which Show 1000 Hz In Their First 1024 Steps"},
      {"1e300 Hz", [&](auto& d) { WriteTestArchive(d, "A.Ark", with_rate_line("MINOR FRAME RATE: 1e300")); }, "A.Ark", "",
       rate_refused + "1e+300 Hz Disagrees With Its Frame Times, Which Show 1000 Hz In Their First 1024 Steps"},
      {"2 MHz", [&](auto& d) { WriteTestArchive(d, "A.Ark", too_fast); }, "A.Ark", "",
       rate_refused + "2e+06 Hz Is Above 1e+06 Hz, Faster Than Its Microsecond Frame Times Can Follow"},
  };
  for (const Case& c : cases) {
    testutil::TempDir dir;
    c.make(dir);
    const std::string command = "cd '" + dir.path() + "' && '" + e2e::ConverterPath() + "' --quiet " + c.archive +
                                " >out.txt 2>err.txt <" + (c.stdin_file.empty() ? "/dev/null" : c.stdin_file) +
                                "; echo $? >status.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(testutil::ReadAllText(dir.File("status.txt")), "1\n") << c.name;
    const std::string shown = c.archive[0] == '/' ? c.archive : dir.File(c.archive);
    const std::string err = testutil::ReadAllText(dir.File("err.txt"));
    EXPECT_NE(err.find("orlovarnel-convert: " + shown + ": " + c.reason + "\n"), std::string::npos)
        << c.name << "\n" << err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("Ch10Conversion"))) << c.name;
    EXPECT_FALSE(std::filesystem::exists("/dev/Ch10Conversion")) << c.name;
  }
}

// A time base that steps an hour back and stays there is followed once:
// one line in the log, not one per later frame, and the check agrees.
TEST(ConverterCliOutcomes, ATimeBaseThatStepsBackAndStaysIsLoggedOnce) {
  testutil::TempDir dir;
  mkarchive::ArchiveSettings settings = Good(200000);
  settings.time_shifts = {{1000, -3600LL * 1000000, true}};
  WriteTestArchive(dir, "R.Ark", settings);
  const e2e::CliRun run = RunConverter(dir.path(), "--quiet --verify R.Ark");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Conversion Complete, frames 200000 (fill 0)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("verified: 200000 frames, 0 fill frames, "), std::string::npos) << run.out;
  const std::string log = testutil::ReadAllText(dir.File("OrloVarnel.Log"));
  EXPECT_LT(log.size(), 2048u) << log;
  EXPECT_EQ(testutil::CountOf(log, "ArkFramesToPackedBitFrames()"), 1) << log;
}

TEST(ConverterCliOutcomes, PipedProgressEndsWithTheOutcome) {
  testutil::TempDir dir;
  WriteTestArchive(dir, "P.Ark", Good());
  e2e::CliRun run = RunConverter(dir.path(), "P.Ark");
  EXPECT_EQ(run.status, 0);
  const std::string last = "P  Conversion Complete\n";
  ASSERT_GE(run.err.size(), last.size());
  EXPECT_EQ(run.err.substr(run.err.size() - last.size()), last) << run.err;
}

}  // namespace
