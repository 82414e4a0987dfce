// The ".B50" setup file beside the archive and filling the setup part of the
// archive header record: from a usable file, or from defaults and the two
// operator prompts when there is none or it is rejected.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/decom_setup.h"
#include "archive/setup_prompts.h"
#include "common/test_helpers.h"
#include "common/log_session.h"
#include "mkarchive/archive_generator.h"
#include "support/beeper.h"

namespace {

struct Prompt {
  std::string caption, label, shown;
};

// Answers the prompts in order; records what each box showed. An answer
// of "" presses Cancel.
class PromptScript {
 public:
  explicit PromptScript(std::vector<std::string> answers) : answers_(std::move(answers)) {
    SetTextInputHook([this](const textinputrequest& request, std::string& text) {
      asked.push_back({request.caption, request.label, text});
      size_t k = asked.size() - 1;
      if (k >= answers_.size() || answers_[k].empty()) return false;
      text = answers_[k];
      return true;
    });
  }
  ~PromptScript() { SetTextInputHook(nullptr); }
  std::vector<Prompt> asked;

 private:
  std::vector<std::string> answers_;
};

class SetupFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    archive_path = dir.File("RUN.Ark");
    record = std::make_unique<decomsetupstruct>();
    SetDecomSetupDefaults(*record);
    record->WordsPerFrame = 16;
  }

  // A setup file "FLIGHT.B50" beside the archive.
  void WriteSetup(const mkarchive::SetupFileSettings& file, const std::string& name = "FLIGHT.B50") {
    std::string error;
    ASSERT_TRUE(mkarchive::WriteSetupFile(dir.File(name), file, *record, &error)) << error;
  }
  mkarchive::SetupFileSettings File(int32_t version = 3, uint8_t valid = 1) {
    mkarchive::SetupFileSettings f;
    f.version = version;
    f.valid = valid;
    return f;
  }
  bool Read(const std::string& recorded_name, decomsetupstruct& out) {
    return ReadSetupFile(archive_path, recorded_name, out);
  }

  testutil::TempDir dir;
  testutil::BeepRecorder beeps;
  std::string archive_path;
  std::unique_ptr<decomsetupstruct> record;
};

TEST_F(SetupFileTest, ReadsTheRecordAfterTheTwentyNineBytePrefix) {
  // Built by hand: version 3, valid 1, 24 skipped bytes of noise, record.
  record->CommonWordLength = 12;
  for (int i = 0; i < 16; ++i) record->WordTable[i].iWdLen = 12;
  record->SubFrameIdStartBitLsb = 7;
  record->BitRate = 123456;
  std::vector<uint8_t> bytes(29, 0xEE);
  int32_t version = 3;
  std::memcpy(bytes.data(), &version, 4);
  bytes[4] = 1;
  const uint8_t* raw = reinterpret_cast<const uint8_t*>(record.get());
  bytes.insert(bytes.end(), raw, raw + sizeof *record);
  testutil::WriteAllBytes(dir.File("FLIGHT.B50"), bytes.data(), bytes.size());

  auto out = std::make_unique<decomsetupstruct>();
  ASSERT_TRUE(Read("C:\\DECOM\\FLIGHT.B50", *out));
  EXPECT_EQ(out->CommonWordLength, 12);
  EXPECT_EQ(out->SubFrameIdStartBitLsb, 7);
  EXPECT_EQ(out->BitRate, 123456);
  EXPECT_EQ(out->WordsPerFrame, 16);
  EXPECT_EQ(beeps.Total(), 0);
}

TEST_F(SetupFileTest, OnlyTheBaseNameInTheArchiveFolderCounts) {
  record->SubFrameIdStartBitLsb = 6;
  WriteSetup(File());
  auto out = std::make_unique<decomsetupstruct>();
  EXPECT_TRUE(Read("D:/ELSEWHERE/FLIGHT.B50", *out));
  EXPECT_TRUE(Read("FLIGHT.B50", *out));
  EXPECT_TRUE(Read("E:FLIGHT.x.B50", *out));  // base name ends at the first "."
  EXPECT_EQ(out->SubFrameIdStartBitLsb, 6);
  EXPECT_FALSE(Read("C:\\DECOM\\OTHER.B50", *out));
  EXPECT_EQ(out->SubFrameIdStartBitLsb, 5);  // the defaults remain
}

TEST_F(SetupFileTest, ExtensionMustBeExactlyUpperCaseB50) {
  WriteSetup(File());
  auto out = std::make_unique<decomsetupstruct>();
  EXPECT_FALSE(Read("FLIGHT.b50", *out));
  EXPECT_FALSE(Read("FLIGHT.B5", *out));
  EXPECT_FALSE(Read("FLIGHT", *out));
  EXPECT_FALSE(Read("", *out));
  EXPECT_EQ(beeps.Total(), 0);
}

// A setup file that is there and not used is logged as a warning (one
// warning tone each) naming the file and the reason; the defaults stand.
TEST_F(SetupFileTest, UnusedFileIsLoggedWithItsReason) {
  struct Case {
    const char* name;
    uint8_t raw[8];             // the first raw_size bytes written as is, when any
    size_t raw_size;
    int32_t version;
    uint8_t valid;
    int64_t record_bytes;       // -1: the whole record
    int32_t archive_words;
    const char* reason;
  };
  const Case cases[] = {
      {"version 1", {}, 0, 1, 1, -1, 16, "its version 1 is below 2"},
      {"valid byte 0", {}, 0, 3, 0, -1, 16, "its valid byte is 0"},
      {"cut in the prefix", {3, 0, 0, 0, 1, 0, 0}, 7, 3, 1, -1, 16, "it ends inside its prefix"},
      {"cut in the version", {3, 0}, 2, 3, 1, -1, 16, "it ends inside its version"},
      {"cut after the prefix", {}, 0, 3, 1, 0, 16, "it is cut short: its record holds 0 bytes, 476 are needed"},
      {"cut in the word table", {}, 0, 3, 1, 220 + 16 * 10, 16,
       "it is cut short: its record holds 380 bytes, 476 are needed for 16 words"},
  };
  for (const Case& c : cases) {
    testutil::LogSession log(dir.path());
    beeps.Clear();
    if (c.raw_size > 0) {
      testutil::WriteAllBytes(dir.File("FLIGHT.B50"), c.raw, c.raw_size);
    } else {
      mkarchive::SetupFileSettings f = File(c.version, c.valid);
      f.record_bytes = c.record_bytes;
      WriteSetup(f);
    }
    auto out = std::make_unique<decomsetupstruct>();
    std::string reason;
    EXPECT_FALSE(ReadSetupFile(dir.File("T.Ark"), "C:\\X\\FLIGHT.B50", *out, c.archive_words, &reason)) << c.name;
    EXPECT_EQ(out->SubFrameIdStartBitLsb, 5) << c.name;  // the defaults stand
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
    EXPECT_NE(reason.find(dir.File("FLIGHT.B50")), std::string::npos) << reason;
    const std::string text = log.EndAndRead();
    EXPECT_EQ(testutil::CountOf(text, "000255  "), 1) << text;
    EXPECT_NE(text.find("Decom Setup File Not Used, " + dir.File("FLIGHT.B50") + ", " + c.reason), std::string::npos)
        << c.name << "\n" << text;
    EXPECT_EQ(beeps.Count(BeepKind::Warning), 1) << c.name;
  }
}

// A failed validation names its check's code and text in the warning.
TEST_F(SetupFileTest, FailedValidationIsLoggedWithTheCheck) {
  record->SyncPattern.FrmSyncPatLen = 99;
  WriteSetup(File());
  testutil::LogSession log(dir.path());
  auto out = std::make_unique<decomsetupstruct>();
  std::string reason;
  EXPECT_FALSE(ReadSetupFile(dir.File("T.Ark"), "FLIGHT.B50", *out, 16, &reason));
  const std::string text = log.EndAndRead();
  EXPECT_NE(text.find("000010  "), std::string::npos) << text;
  EXPECT_NE(text.find(", check 10 failed: Sync Pattern Length MUST be between 3 and 64"), std::string::npos)
      << text;
  EXPECT_NE(reason.find("check 10 failed"), std::string::npos) << reason;
}

TEST_F(SetupFileTest, RejectedRecordSoundsTheErrorBeep) {
  record->SyncPattern.FrmSyncPatLen = 99;
  WriteSetup(File());
  auto out = std::make_unique<decomsetupstruct>();
  EXPECT_FALSE(Read("FLIGHT.B50", *out));
  EXPECT_EQ(beeps.Count(BeepKind::Error), 1);
  EXPECT_EQ(+out->SyncPattern.FrmSyncPatLen, 99);  // what the file said stays in the record
}

// The setup part as opening an archive fills it: an archive made by the
// generator (16 words, 64 minor frames counted from 0, naming the setup file
// "C:\DECOM\SETUPS\FLIGHT.B50") beside the setup file a test writes.
class ApplySetupTest : public SetupFileTest {
 protected:
  // Writes the archive as `settings` say and opens it with `a`: true when
  // the open took the setup part from the setup file.
  bool Open(orloarkclass& a) {
    std::string error;
    EXPECT_TRUE(mkarchive::WriteArchive(archive_path, settings, &error)) << error;
    EXPECT_TRUE(a.OpenArkFile(archive_path)) << a.OpenFailure();
    return a.SetupFileUsed();
  }
  bool ApplyDecomSetup() { return Open(archive); }

  mkarchive::ArchiveSettings settings;
  orloarkclass archive;
};

TEST_F(ApplySetupTest, UsableFileFillsTheSetupPart) {
  record->CommonWordLength = 12;
  for (int i = 0; i < 16; ++i) {
    record->WordTable[i].iWdLen = 12;
    record->WordTable[i].bLeftAlign = i % 2;
  }
  record->WordTable[5].iWdLen = 8;
  record->WordTable[6].iWdLen = 16;
  record->SubFrameIdStartBitLsb = 6;
  record->PatternLeads = 1;
  std::strcpy(record->SyncPattern.FrmSyncPat, "00EB90");
  record->SyncPattern.FrmSyncPatLen = 24;
  record->SyncPattern.FrmSyncPatRadix = 2;
  WriteSetup(File());

  PromptScript prompts({});
  EXPECT_TRUE(ApplyDecomSetup());
  const arkheaderstruct& h = archive.Header();
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_EQ(h.CommonWordLength, 12);
  EXPECT_EQ(h.SfidMsb, 6);
  EXPECT_TRUE(h.FspLeads);
  EXPECT_STREQ(h.SyncPattern.FrmSyncPat, "EB90");  // leading zeros removed
  EXPECT_EQ(+h.SyncPattern.FrmSyncPatLen, 24);
  EXPECT_EQ(+h.SyncPattern.FrmSyncPatRadix, 2);
  EXPECT_EQ(h.BitsPerMinorFrame, 14 * 12 + 8 + 16);
  EXPECT_TRUE(h.VariableWordLengths);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(std::memcmp(&h.WordTable[i], &record->WordTable[i], sizeof(decomwordstruct)), 0) << i;
  }
  EXPECT_EQ(+h.WordTable[16].iWdLen, 0);  // entries beyond the frame are not touched
  EXPECT_EQ(beeps.Total(), 0);
}

TEST_F(ApplySetupTest, AllZeroPatternTextBecomesEmpty) {
  for (int i = 0; i < 16; ++i) record->WordTable[i].iWdLen = 16;
  std::strcpy(record->SyncPattern.FrmSyncPat, "0000");
  record->PatternLeads = 0;
  record->SubFrameIdWord = 3;
  WriteSetup(File());
  EXPECT_TRUE(ApplyDecomSetup());
  EXPECT_STREQ(archive.Header().SyncPattern.FrmSyncPat, "");
  EXPECT_FALSE(archive.Header().FspLeads);
  EXPECT_FALSE(archive.Header().VariableWordLengths);
  EXPECT_EQ(archive.Header().BitsPerMinorFrame, 256);
}

TEST_F(ApplySetupTest, UnterminatedPatternTextStaysTerminated) {
  std::memset(record->SyncPattern.FrmSyncPat, 'A', sizeof record->SyncPattern.FrmSyncPat);
  WriteSetup(File());
  EXPECT_TRUE(ApplyDecomSetup());
  EXPECT_EQ(std::strlen(archive.Header().SyncPattern.FrmSyncPat), 65u);
}

TEST_F(ApplySetupTest, NoFileAndCancelGiveTheDefaults) {
  PromptScript prompts({"", ""});
  EXPECT_FALSE(ApplyDecomSetup());
  const arkheaderstruct& h = archive.Header();
  ASSERT_EQ(prompts.asked.size(), 2u);
  EXPECT_EQ(prompts.asked[0].label, "Enter the Common Word Length");
  EXPECT_EQ(prompts.asked[0].caption, "Input Range 3 - 16");
  EXPECT_EQ(prompts.asked[0].shown, "16");
  EXPECT_EQ(prompts.asked[1].label, "Enter the SFID MSB");
  EXPECT_EQ(h.CommonWordLength, 16);
  EXPECT_EQ(h.SfidMsb, 5);  // 64 frames counted from 0: six bits
  EXPECT_TRUE(h.FspLeads);
  EXPECT_EQ(+h.SyncPattern.FrmSyncPatLen, 32);
  EXPECT_EQ(+h.SyncPattern.FrmSyncPatRadix, 2);
  EXPECT_STREQ(h.SyncPattern.FrmSyncPat, "FE6B2840");
  EXPECT_EQ(h.BitsPerMinorFrame, 16 * 16);
  EXPECT_FALSE(h.VariableWordLengths);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(+h.WordTable[i].iWdNum, i);
    EXPECT_EQ(+h.WordTable[i].iWdLen, 16);
  }
  EXPECT_EQ(beeps.Total(), 0);
}

TEST_F(ApplySetupTest, NoHookBehavesAsCancel) {
  SetTextInputHook(nullptr);
  EXPECT_FALSE(ApplyDecomSetup());
  EXPECT_EQ(archive.Header().CommonWordLength, 16);
  EXPECT_STREQ(archive.Header().SyncPattern.FrmSyncPat, "FE6B2840");
}

TEST_F(ApplySetupTest, PromptAnswersSetTheWordLengthAndPattern) {
  settings.words_per_frame = 10;
  PromptScript prompts({"12", "4"});
  EXPECT_FALSE(ApplyDecomSetup());
  const arkheaderstruct& h = archive.Header();
  EXPECT_EQ(h.CommonWordLength, 12);
  EXPECT_EQ(h.SfidMsb, 4);
  EXPECT_EQ(+h.SyncPattern.FrmSyncPatLen, 24);
  EXPECT_STREQ(h.SyncPattern.FrmSyncPat, "FAF320");
  EXPECT_EQ(h.BitsPerMinorFrame, 120);
  EXPECT_EQ(+h.WordTable[9].iWdLen, 12);
  EXPECT_EQ(+h.WordTable[10].iWdLen, 0);
}

TEST_F(ApplySetupTest, ShortWordLengthHasNoDefaultPattern) {
  PromptScript prompts({"3", ""});
  EXPECT_FALSE(ApplyDecomSetup());
  EXPECT_EQ(archive.Header().CommonWordLength, 3);
  EXPECT_EQ(+archive.Header().SyncPattern.FrmSyncPatLen, 6);
  EXPECT_STREQ(archive.Header().SyncPattern.FrmSyncPat, "");
  EXPECT_EQ(archive.Header().BitsPerMinorFrame, 48);
}

TEST_F(ApplySetupTest, VersionOneFileGoesToThePromptsWithAWarning) {
  WriteSetup(File(1));
  PromptScript prompts({"", ""});
  EXPECT_FALSE(ApplyDecomSetup());
  EXPECT_EQ(prompts.asked.size(), 2u);
  EXPECT_EQ(beeps.Total(), 1);
  EXPECT_NE(archive.SetupFileProblem().find("its version 1 is below 2"), std::string::npos)
      << archive.SetupFileProblem();
}

// A setup file cut inside the word table would leave default lengths for
// the words it does not hold: it is not used, and the prompts answer.
TEST_F(ApplySetupTest, FileCutInsideTheWordTableGoesToThePrompts) {
  mkarchive::SetupFileSettings f = File();
  f.record_bytes = 220 + 16 * 3;  // three of the archive's entries
  WriteSetup(f);
  PromptScript prompts({"12", ""});
  EXPECT_FALSE(ApplyDecomSetup());
  EXPECT_EQ(prompts.asked.size(), 2u);
  EXPECT_EQ(archive.Header().CommonWordLength, 12);
  EXPECT_NE(archive.SetupFileProblem().find("it is cut short"), std::string::npos) << archive.SetupFileProblem();
}

TEST_F(ApplySetupTest, BadDirectionFileIsRejectedAndTheWordsComeFromTheDefaults) {
  for (int i = 0; i < 16; ++i) record->WordTable[i].bLeftAlign = 1;
  record->SubframeDirection = 2;
  WriteSetup(File());
  PromptScript prompts({"10", ""});
  EXPECT_FALSE(ApplyDecomSetup());
  EXPECT_EQ(beeps.Count(BeepKind::Error), 1);
  EXPECT_EQ(prompts.asked.size(), 2u);
  const arkheaderstruct& h = archive.Header();
  EXPECT_EQ(h.CommonWordLength, 10);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(+h.WordTable[i].iWdLen, 10);
    EXPECT_EQ(+h.WordTable[i].bLeftAlign, 0);  // the record was reset
  }
}

TEST_F(ApplySetupTest, RejectedFileLeavesItsOtherWordBytesInTheTable) {
  for (int i = 0; i < 16; ++i) {
    record->WordTable[i].bLeftAlign = 1;
    record->WordTable[i].iWdLen = 9;
  }
  record->CommonWordLength = 9;
  record->SubFrameIdWord = 5;          // after the four 9-bit sync words
  record->FramesPerInterrupt = 30000;  // rejected with code 17
  WriteSetup(File());
  PromptScript prompts({"", ""});
  EXPECT_FALSE(ApplyDecomSetup());
  EXPECT_EQ(beeps.Count(BeepKind::Error), 1);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(+archive.Header().WordTable[i].iWdLen, 16);
    EXPECT_EQ(+archive.Header().WordTable[i].bLeftAlign, 1);
  }
}

TEST_F(ApplySetupTest, RecordsWithUnpackableLengthsAreRejected) {
  record->CommonWordLength = 0;
  WriteSetup(File());
  PromptScript prompts({"", ""});
  EXPECT_FALSE(ApplyDecomSetup());
  EXPECT_EQ(beeps.Count(BeepKind::Error), 1);
  EXPECT_EQ(archive.Header().CommonWordLength, 16);
  EXPECT_EQ(prompts.asked.size(), 2u);
}

TEST_F(ApplySetupTest, ArchiveFrameLongerThanTheRecordNeedsPackableLengthsToo) {
  // The record describes 16 words and passes; the archive's frame has 40
  // and word 31 of the table cannot be packed.
  record->WordTable[30].iWdLen = 0;
  settings.words_per_frame = 40;
  WriteSetup(File());
  PromptScript prompts({"", ""});
  EXPECT_FALSE(ApplyDecomSetup());
  EXPECT_EQ(beeps.Count(BeepKind::Error), 1);
  EXPECT_EQ(archive.Header().BitsPerMinorFrame, 40 * 16);

  // With packable lengths the file is taken, all 40 entries from it.
  beeps.Clear();
  record->WordTable[30].iWdLen = 7;
  WriteSetup(File());
  EXPECT_TRUE(ApplyDecomSetup());
  EXPECT_EQ(archive.Header().BitsPerMinorFrame, 39 * 16 + 7);
  EXPECT_EQ(beeps.Total(), 0);
}

TEST_F(ApplySetupTest, NoMinorFramesSkipsTheSfidPrompt) {
  settings.num_minor_frames = 0;
  PromptScript prompts({"", ""});
  EXPECT_FALSE(ApplyDecomSetup());
  EXPECT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(archive.Header().SfidMsb, 0);
}

}  // namespace

// An archive object opened again reuses its setup record: each apply must
// give what a fresh object gives, whatever the file before it left there.
TEST_F(ApplySetupTest, ReusedArchiveObjectAppliesAsAFreshOne) {
  struct Step {
    const char* what;
    int32_t length;
    uint8_t left;
    int16_t frames_per_interrupt;  // 30000 is rejected, leaving its bytes
    bool file;
    int32_t words;  // the archive's words per frame
  };
  const Step steps[] = {
      {"rejected file", 9, 1, 30000, true, 16},
      {"no file", 0, 0, 1, false, 16},
      {"usable file", 12, 1, 1, true, 16},
      {"no file again", 0, 0, 1, false, 16},
      {"usable file, longer frame", 12, 1, 1, true, 40},
      {"no file, shorter frame", 0, 0, 1, false, 8},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    settings.words_per_frame = step.words;
    DeleteFileAt(dir.File("FLIGHT.B50"));
    if (step.file) {
      SetDecomSetupDefaults(*record);
      record->WordsPerFrame = 16;
      record->CommonWordLength = static_cast<int16_t>(step.length);
      record->SubFrameIdWord = 5;
      record->FramesPerInterrupt = step.frames_per_interrupt;
      for (int i = 0; i < 16; ++i) {
        record->WordTable[i].iWdLen = static_cast<int16_t>(step.length);
        record->WordTable[i].bLeftAlign = step.left;
      }
      WriteSetup(File());
    }
    orloarkclass fresh;
    PromptScript prompts({"", "", "", ""});
    const bool reused_ok = Open(archive);
    const bool fresh_ok = Open(fresh);
    EXPECT_EQ(reused_ok, fresh_ok);
    EXPECT_EQ(reused_ok, step.file && step.frames_per_interrupt == 1);
    EXPECT_EQ(archive.SetupFileProblem(), fresh.SetupFileProblem());
    EXPECT_EQ(archive.Header().CommonWordLength, fresh.Header().CommonWordLength);
    EXPECT_EQ(archive.Header().BitsPerMinorFrame, fresh.Header().BitsPerMinorFrame);
    EXPECT_STREQ(archive.Header().SyncPattern.FrmSyncPat, fresh.Header().SyncPattern.FrmSyncPat);
    // The whole table: nothing an earlier frame filled stays past this one.
    EXPECT_EQ(std::memcmp(archive.Header().WordTable, fresh.Header().WordTable,
                          sizeof archive.Header().WordTable),
              0);
  }
}
