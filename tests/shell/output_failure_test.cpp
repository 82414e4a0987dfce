// A pack, Chapter 10 or notes file that cannot be written, and an output
// folder that cannot be created: the run ends the way an abort does, the
// log names the failure, and the outcome is never "Conversion Complete".
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "archive/archive_reader.h"
#include "ch10/ch10_converter.h"
#include "common/ch10_packets.h"
#include "pack/pack_converter.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "shell/shell_fixture.h"
#include "support/platform_file.h"

namespace {

using shelltest::CountOf;
using shelltest::MakeArchive;
using shelltest::SmallSettings;
using shelltest::StartedLog;

// "%06d" of the error number, as the log line starts.
std::string CodeField(int error_number) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d  ", error_number);
  return text;
}

struct FailingRun {
  StartedLog log;
  progoptionsclass options;
  conversiondriverclass driver{options, nullptr};

  ConversionOutcome Run(const std::string& fault_part, int64_t bytes_before, int error_number,
                        int64_t frames = 4000) {
    // The pack file is written only when it is kept.
    driver.SetRetainPackFile(fault_part == ".arkpak");
    std::string path = MakeArchive(log.Dir().path(), "W.ark", SmallSettings(frames));
    EXPECT_TRUE(driver.OpenArchive(path));
    SetFileWriteFault(fault_part, bytes_before, error_number);
    ConversionOutcome outcome = driver.RunConversion();
    ClearFileWriteFault();
    return outcome;
  }

  void ExpectAbortedWithLogged(const std::string& message_part, int error_number) {
    EXPECT_EQ(driver.OutcomeText(), "Conversion Aborted");
    EXPECT_EQ(log.Beeps().Count(BeepKind::Done), 0);
    EXPECT_GE(log.Beeps().Count(BeepKind::Error), 1);
    EXPECT_TRUE(driver.OutputFailed());
    std::string text = log.LogText();
    size_t at = text.find(message_part);
    ASSERT_NE(at, std::string::npos) << text;
    size_t line_start = text.rfind('\n', at) + 1;
    std::string line = text.substr(line_start, text.find("\r\n", at) - line_start);
    EXPECT_EQ(line.rfind(CodeField(error_number), 0), 0u) << line;
    EXPECT_NE(line.find(SystemErrorText(error_number)), std::string::npos) << line;
    EXPECT_FALSE(log.Boxes().empty());
    EXPECT_EQ(text.find("Conversion Complete"), std::string::npos);
  }
};

TEST(OutputFailure, KeptPackFileWriteEndsThePass) {
  FailingRun run;
  // Groups of 8,176 frames of 16 words: the first group write fails.
  EXPECT_EQ(run.Run(".arkpak", 1000, ENOSPC, 20000), ConversionOutcome::Aborted);
  run.ExpectAbortedWithLogged(run.driver.PackFileName(), ENOSPC);
  // The failure names the file being written, once.
  EXPECT_EQ(CountOf(run.log.LogText(), run.driver.PackFileName() + kWritingSuffix), 1);
  // The pass stopped at the failure; the archive is closed; the Chapter 10
  // file holds the group that was packed, whole packets and a short one.
  EXPECT_LT(run.driver.Pack()->ValidFrameCount(), 8176 + 16);
  EXPECT_FALSE(run.driver.Archive()->IsOpen());
  std::vector<testutil::Ch10Packet> packets;
  std::string error;
  ASSERT_TRUE(testutil::ReadCh10File(run.driver.KeptOutputs().Ch10File, packets, error)) << error;
  ASSERT_GE(packets.size(), 2u);
  EXPECT_EQ(packets[1].channel, testutil::kCh10TimeChannel);
  EXPECT_EQ(testutil::ConcatenatePcmPayloads(packets).size(), 8176u * 32u);
  EXPECT_EQ(run.driver.Converter()->OutputError(), 0);
  EXPECT_TRUE(FileExists(run.driver.KeptOutputs().NotesFile));
}

TEST(OutputFailure, Ch10FileWriteEndsThePassAtOnce) {
  FailingRun run;
  EXPECT_EQ(run.Run(".ch10", 20000, EIO, 20000), ConversionOutcome::Aborted);
  run.ExpectAbortedWithLogged("Unable to write Ch10 file", EIO);
  const ch10convertprocessclass* cvt = run.driver.Converter();
  ASSERT_NE(cvt, nullptr);
  // About 1,600 bytes per PCM packet: the failing one is not counted and no
  // further packet is attempted.
  EXPECT_LT(cvt->PcmPacketCount(), 20);
  // The pass ends with the block that completed the first group of 8,176
  // frames, whose packets failed.
  EXPECT_LT(run.driver.Pack()->ValidFrameCount(), 8176 + 16);
  EXPECT_TRUE(FileExists(run.driver.KeptOutputs().NotesFile));
  std::string notes = testutil::ReadAllText(run.driver.KeptOutputs().NotesFile);
  char expected[64];
  std::snprintf(expected, sizeof expected, "Ch10 file PCM Packet Count  : %.0f\r\n",
                static_cast<double>(cvt->PcmPacketCount()));
  EXPECT_NE(notes.find(expected), std::string::npos);
}

TEST(OutputFailure, NotesFileWriteIsReported) {
  FailingRun run;
  EXPECT_EQ(run.Run(".CvtNotes", 100, ENOSPC, 64), ConversionOutcome::Aborted);
  run.ExpectAbortedWithLogged("Could not write the conversion notes file", ENOSPC);
  EXPECT_EQ(CountOf(run.log.LogText(), "Could not write the conversion notes file"), 1);
  // The Chapter 10 file itself is whole.
  EXPECT_EQ(run.driver.Converter()->OutputError(), 0);
}

TEST(OutputFailure, OutputFolderThatCannotBeCreated) {
  FailingRun run;
  // A plain file where the output folder should go.
  testutil::WriteAllText(run.log.File("Ch10Conversion"), "in the way");
  std::string path = MakeArchive(run.log.Dir().path(), "F.ark", SmallSettings(64));
  ASSERT_TRUE(run.driver.OpenArchive(path));
  EXPECT_NE(run.log.LogText().find("Could not create the output folder"), std::string::npos);
  EXPECT_EQ(run.driver.RunConversion(), ConversionOutcome::Aborted);
  run.ExpectAbortedWithLogged("Could not create the output folder", EEXIST);
  // Nothing is written anywhere else instead.
  EXPECT_EQ(run.log.LogText().find("Could not create the conversion notes file"),
            std::string::npos);
  EXPECT_EQ(CountOf(run.log.LogText(), "END ARK TO CH10 CONVERSION"), 1);
  EXPECT_EQ(testutil::ReadAllText(run.log.File("Ch10Conversion")), "in the way");
}

TEST(OutputFailure, AFailureDoesNotOutliveTheJob) {
  FailingRun run;
  EXPECT_EQ(run.Run(".arkpak", 0, ENOSPC), ConversionOutcome::Aborted);
  std::string folder, name;
  ASSERT_TRUE(run.driver.PrepareSelection(folder, name));
  EXPECT_FALSE(run.driver.OutputFailed());
  ASSERT_TRUE(run.driver.OpenArchive(MakeArchive(run.log.Dir().path(), "W.ark", SmallSettings(64))));
  EXPECT_EQ(run.driver.RunConversion(), ConversionOutcome::Complete);
}

}  // namespace
