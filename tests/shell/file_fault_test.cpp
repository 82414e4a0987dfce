// Every file call of a whole conversion fails in turn: each open, read,
// write, close and rename that selecting an archive, running the conversion
// and saving the options make is counted on a clean run, then each one
// (the first, and every later one) fails with an I/O error in a run of its
// own. The counts come from the run itself, so the loop follows whatever
// file calls the conversion makes. The Chapter 10 file goes out in a few
// large writes, so a write to it is also cut part way at the end of every
// one of its packets and one byte before. The log file is spared (it must
// name the failure).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "common/ch10_packets.h"
#include "shell/shell_fixture.h"
#include "support/platform_file.h"

namespace {

using shelltest::MakeArchive;
using shelltest::SmallSettings;
using shelltest::StartedLog;

constexpr int kInjectedError = EIO;

struct FaultRunResult {
  ConversionOutcome outcome = ConversionOutcome::Refused;
  std::string log;
  std::vector<std::string> leftovers;  // temporary files still there
  int64_t conversion_calls[kFileOperationCount] = {};  // up to the end of the run
  int64_t calls[kFileOperationCount] = {};             // options saved too
  std::vector<size_t> ch10_packet_ends;                // offsets in the Chapter 10 file
};

// Selects the archive, runs the conversion and saves the options with the
// given fault armed (nth_call 0: none, just count), and writes to files
// whose path holds write_fault_part failing after write_budget bytes.
FaultRunResult RunWithFault(FileOperation operation, int64_t nth_call,
                            const std::string& write_fault_part = ".arkpak",
                            int64_t write_budget = 64 << 20) {
  FaultRunResult result;
  StartedLog log;
  const std::string job = log.File("job");
  std::filesystem::create_directory(job);
  // Two blocks of a gap, a pass-1 tail and a short last PCM packet.
  mkarchive::ArchiveSettings settings = SmallSettings(1500);
  settings.gaps = {{700, 40}};
  const std::string archive = MakeArchive(job, "F.ark", settings);
  {
    progoptionsclass options;
    conversiondriverclass driver(options, nullptr);
    // A fault that let the pass run away (fill for a misread frame time)
    // must fail the test, not fill the disk.
    SetFileWriteFault(write_fault_part, write_budget,
                      write_fault_part == ".arkpak" ? ENOSPC : kInjectedError);
    SetFileCallFault(log.Dir().path(), operation, nth_call, kInjectedError, "OrloVarnel.Log");
    if (driver.OpenArchive(archive)) result.outcome = driver.RunConversion();
    const std::string ch10_file = driver.Ch10FileName();
    driver.ResetJob();
    for (int op = 0; op < kFileOperationCount; ++op)
      result.conversion_calls[op] = FileCallCount(static_cast<FileOperation>(op));
    options.Save();
    for (int op = 0; op < kFileOperationCount; ++op)
      result.calls[op] = FileCallCount(static_cast<FileOperation>(op));
    ClearFileCallFault();
    ClearFileWriteFault();
    // Read once the calls are counted and the faults cleared: the reader
    // opens and reads through the same counted file calls.
    std::vector<testutil::Ch10Packet> packets;
    std::string error;
    if (testutil::ReadCh10File(ch10_file, packets, error)) {
      for (const auto& p : packets) result.ch10_packet_ends.push_back(p.offset + p.packet_length);
    }
  }
  result.log = log.LogText();
  for (const auto& entry : std::filesystem::recursive_directory_iterator(log.Dir().path())) {
    const std::string name = entry.path().string();
    // What an unfinished run keeps is named so (".partial"); anything else
    // temporary must be gone, but for the new notes when their rename failed
    // after the new Chapter 10 file was in place: the log says the next run
    // puts them in place.
    const bool notes_waiting =
        name.ends_with(kCommitSuffix) && result.log.find("the next conversion of the archive "
                                                         "puts them in place") != std::string::npos;
    if (name.ends_with(".arkpak") || name.ends_with(".tmp") || name.ends_with(kWritingSuffix) ||
        (name.ends_with(kCommitSuffix) && !notes_waiting) || name.ends_with(kLockSuffix)) {
      result.leftovers.push_back(name);
    }
  }
  return result;
}

const char* OperationName(FileOperation operation) {
  static const char* const kNames[] = {"open", "read", "write", "close", "rename", "sync"};
  return kNames[static_cast<int>(operation)];
}

TEST(FileFaults, EveryFileCallOfAConversionFailsInTurn) {
  const FaultRunResult clean = RunWithFault(FileOperation::Open, 0);
  ASSERT_EQ(clean.outcome, ConversionOutcome::Complete) << clean.log;
  ASSERT_TRUE(clean.leftovers.empty());

  int64_t runs = 0;
  for (int op = 0; op < kFileOperationCount; ++op) {
    const FileOperation operation = static_cast<FileOperation>(op);
    // Every kind of call happens in a conversion (the options are saved
    // through a renamed temporary file).
    EXPECT_GT(clean.calls[op], 0) << OperationName(operation);
    for (int64_t n = 1; n <= clean.calls[op]; ++n) {
      SCOPED_TRACE(std::string(OperationName(operation)) + " call " + std::to_string(n) + " of " +
                   std::to_string(clean.calls[op]));
      const FaultRunResult run = RunWithFault(operation, n);
      ++runs;
      // A failure while the options are saved comes after the outcome.
      if (n <= clean.conversion_calls[op]) {
        EXPECT_NE(run.outcome, ConversionOutcome::Complete) << run.log;
        EXPECT_EQ(run.log.find("Conversion Complete"), std::string::npos);
      }
      EXPECT_NE(run.log.find(SystemErrorText(kInjectedError)), std::string::npos) << run.log;
      EXPECT_TRUE(run.leftovers.empty()) << run.leftovers.front();
    }
  }
  // A write to the Chapter 10 file cut at the end of each packet and one
  // byte before (the last packet's end is the whole file: no fault).
  ASSERT_GT(clean.ch10_packet_ends.size(), 10u);
  for (const size_t end : clean.ch10_packet_ends) {
    for (const size_t cut : {end - 1, end}) {
      if (cut >= clean.ch10_packet_ends.back()) continue;
      SCOPED_TRACE("Chapter 10 write cut at byte " + std::to_string(cut));
      const FaultRunResult run =
          RunWithFault(FileOperation::Open, 0, ".ch10", static_cast<int64_t>(cut));
      ++runs;
      EXPECT_NE(run.outcome, ConversionOutcome::Complete) << run.log;
      EXPECT_EQ(run.log.find("Conversion Complete"), std::string::npos);
      EXPECT_NE(run.log.find(SystemErrorText(kInjectedError)), std::string::npos) << run.log;
      EXPECT_TRUE(run.leftovers.empty()) << run.leftovers.front();
    }
  }
  EXPECT_GT(runs, 10);
  std::printf("file calls of a conversion: open %lld, read %lld, write %lld, close %lld, "
              "rename %lld, sync %lld; Chapter 10 packets %zu\n",
              static_cast<long long>(clean.calls[0]), static_cast<long long>(clean.calls[1]),
              static_cast<long long>(clean.calls[2]), static_cast<long long>(clean.calls[3]),
              static_cast<long long>(clean.calls[4]), static_cast<long long>(clean.calls[5]),
              clean.ch10_packet_ends.size());
}

}  // namespace
