// Decom setup record defaults and the checks a record must pass (codes 10 to
// 20 with their reason texts).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "archive/decom_setup.h"
#include "common/test_helpers.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace {

std::unique_ptr<decomsetupstruct> Defaults() {
  auto record = std::make_unique<decomsetupstruct>();
  std::memset(record.get(), 0x5A, sizeof *record);  // defaults must overwrite everything
  SetDecomSetupDefaults(*record);
  return record;
}

template <typename T>
T At(const decomsetupstruct& r, size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const uint8_t*>(&r) + offset, sizeof value);
  return value;
}

struct Outcome {
  bool ok;
  int32_t code;
  std::string reason;
};

Outcome Validate(decomsetupstruct& r) {
  Outcome o{false, -1, "unset"};
  o.ok = ValidateDecomSetup(r, o.code, o.reason);
  return o;
}

TEST(DecomSetupDefaultsTest, SetsTheDocumentedValuesAtTheirOffsets) {
  auto r = Defaults();
  EXPECT_EQ(At<int16_t>(*r, 0), 256);
  EXPECT_EQ(At<uint8_t>(*r, 2), 16);
  EXPECT_EQ(At<uint8_t>(*r, 3), 0);
  EXPECT_EQ(At<int32_t>(*r, 4), 0);
  EXPECT_EQ(At<int16_t>(*r, 8), 3);
  EXPECT_EQ(At<int16_t>(*r, 10), 5);
  EXPECT_EQ(At<int16_t>(*r, 12), 0);
  EXPECT_EQ(At<int16_t>(*r, 14), 63);
  EXPECT_EQ(At<int32_t>(*r, 16), 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.get()) + 20, "FE6B2840");
  EXPECT_EQ(At<int16_t>(*r, 86), 32);
  EXPECT_EQ(At<int32_t>(*r, 88), 1);
  EXPECT_EQ(At<uint16_t>(*r, 94), 2);
  EXPECT_EQ(At<uint16_t>(*r, 96), 2);
  EXPECT_EQ(At<int32_t>(*r, 108), 1);
  EXPECT_EQ(At<uint16_t>(*r, 114), 1);
  EXPECT_EQ(At<int16_t>(*r, 124), 1);
  EXPECT_EQ(At<int32_t>(*r, 128), 4);
  EXPECT_EQ(At<int32_t>(*r, 132), 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.get()) + 136, "FE6B2840");
  EXPECT_EQ(At<int16_t>(*r, 202), 32);
  EXPECT_EQ(At<uint16_t>(*r, 204), 1);
  EXPECT_EQ(At<int32_t>(*r, 208), 1);
  EXPECT_EQ(At<int32_t>(*r, 212), 0);
  EXPECT_EQ(At<uint16_t>(*r, 216), 256);
  EXPECT_EQ(At<int32_t>(*r, 262348), 64);
  EXPECT_EQ(At<int32_t>(*r, 262352), 0);
  EXPECT_EQ(At<int32_t>(*r, 262356), 1024000);
  // Bytes without a default are 0: the spares and the trailing bytes.
  for (size_t offset : {98u, 99u, 105u, 113u, 117u, 126u, 206u, 218u, 262360u, 262367u})
    EXPECT_EQ(At<uint8_t>(*r, offset), 0) << offset;
  EXPECT_EQ(At<uint8_t>(*r, 20 + 8), 0);  // the pattern text is NUL-terminated and zero-filled
  EXPECT_EQ(At<uint8_t>(*r, 20 + 65), 0);
}

TEST(DecomSetupDefaultsTest, WordTableEntriesFollowTheRecordDefaults) {
  auto r = Defaults();
  for (int i : {0, 1, 255, 256, kWordTableEntries - 1}) {
    const decomwordstruct& e = r->WordTable[i];
    EXPECT_EQ(e.iWdNum, i);
    EXPECT_EQ(e.iWdLen, 16);
    EXPECT_EQ(e.bLSBF, 0);
    EXPECT_EQ(e.bLeftAlign, 0);  // word alignment defaults to right
    EXPECT_EQ(e.bSlave + e.bReject + e.WordFlag12 + e.Reserved[0] + e.Reserved[1] + e.Reserved[2], 0);
  }
  EXPECT_EQ(At<int32_t>(*r, 220 + 16 * 7), 7);
  EXPECT_EQ(At<int32_t>(*r, 220 + 16 * 7 + 4), 16);
}

TEST(DecomSetupValidateTest, DefaultsPass) {
  auto r = Defaults();
  Outcome o = Validate(*r);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.reason, "");
}

TEST(DecomSetupValidateTest, EachCheckHasItsCodeAndReason) {
  struct Case {
    const char* what;
    void (*change)(decomsetupstruct&);
    int32_t code;
    const char* reason;
  };
  const Case cases[] = {
      {"pattern too short", [](decomsetupstruct& r) { r.SyncPattern.FrmSyncPatLen = 2; }, 10,
       "Sync Pattern Length MUST be between 3 and 64"},
      {"pattern too long", [](decomsetupstruct& r) { r.SyncPattern.FrmSyncPatLen = 65; }, 10,
       "Sync Pattern Length MUST be between 3 and 64"},
      {"too many words", [](decomsetupstruct& r) { r.WordsPerFrame = 16384; }, 11,
       "Words Per Minor Frame MUST be less than 1638"},
      {"too many subframes", [](decomsetupstruct& r) { r.NumSubframes = 1025; }, 12,
       "Too Many Subframes, Max is 1024"},
      {"SFID beyond the frame", [](decomsetupstruct& r) { r.SubFrameIdWord = 257; }, 13,
       "SFID MUST be less than Words Per Minor Frame 256"},
      {"up, leads", [](decomsetupstruct& r) { r.SubFrameIdWord = 1; }, 14, "SfId Word Must be Greater than 1"},
      {"up, leads, first frame 2",
       [](decomsetupstruct& r) {
         r.FirstFrame = 2;
         r.SubFrameIdWord = 3;
       },
       14, "SfId Word Must be Greater than 3"},
      {"down, leads",
       [](decomsetupstruct& r) {
         r.SubframeDirection = 1;
         r.SubFrameIdWord = 1;
       },
       14, "SfId Word Must be Greater than 2"},
      {"up, trails",
       [](decomsetupstruct& r) {
         r.PatternLeads = 0;
         r.SubFrameIdWord = 255;
       },
       14, "SfId Word Must be Less than 254"},
      {"down, trails",
       [](decomsetupstruct& r) {
         r.SubframeDirection = 1;
         r.PatternLeads = 0;
         r.SubFrameIdWord = 256;
       },
       14, "SfId Word Must be Less than 254"},
      {"start bit beyond the word", [](decomsetupstruct& r) { r.SubFrameIdStartBitLsb = 16; }, 15,
       "SF ID Start Bit MUST be in the range of 0 to 15"},
      {"start bit negative", [](decomsetupstruct& r) { r.SubFrameIdStartBitLsb = -1; }, 15,
       "SF ID Start Bit MUST be in the range of 0 to 15"},
      {"start bit of a 10-bit SFID word",
       [](decomsetupstruct& r) {
         r.WordTable[2].iWdLen = 10;
         r.SubFrameIdStartBitLsb = 10;
       },
       15, "SF ID Start Bit MUST be in the range of 0 to 9"},
      {"too few bits for 64 counts", [](decomsetupstruct& r) { r.SubFrameIdStartBitLsb = 4; }, 15,
       "Not enough bits for SF ID for the number of minor frames. Check Start Bit"},
      {"URC pattern too long",
       [](decomsetupstruct& r) {
         r.eSyncMethod = 3;
         r.URCPatLen = 33;
       },
       16, "URC  URC Sync Pattern Length MUST be between 3 and 32"},
      {"URC pattern too short",
       [](decomsetupstruct& r) {
         r.eSyncMethod = 3;
         r.URCPatLen = 2;
       },
       16, "URC  URC Sync Pattern Length MUST be between 3 and 32"},
      {"frames per interrupt", [](decomsetupstruct& r) { r.FramesPerInterrupt = 300; }, 17,
       "Frames Per Interrupt TOO LARGE for the card.  Max is 13107 bytes.  Max Frames Per Interrupt is 251"},
      {"common word length 0", [](decomsetupstruct& r) { r.CommonWordLength = 0; }, 18,
       "Common Word Length MUST be between 1 and 16"},
      {"common word length 17", [](decomsetupstruct& r) { r.CommonWordLength = 17; }, 18,
       "Common Word Length MUST be between 1 and 16"},
      {"word length 0", [](decomsetupstruct& r) { r.WordTable[10].iWdLen = 0; }, 19,
       "Word Length MUST be between 1 and 16, Word 11 is 0"},
      {"word length 17", [](decomsetupstruct& r) { r.WordTable[255].iWdLen = 17; }, 19,
       "Word Length MUST be between 1 and 16, Word 256 is 17"},
      {"SFID word 0", [](decomsetupstruct& r) { r.SubFrameIdWord = 0; }, 20,
       "SfId Word MUST be at least 1 when subframes are synchronised"},
      {"SFID word negative, trailing pattern",
       [](decomsetupstruct& r) {
         r.PatternLeads = 0;
         r.SubframeDirection = 1;
         r.SubFrameIdWord = -4;
       },
       20, "SfId Word MUST be at least 1 when subframes are synchronised"},
  };
  for (const Case& c : cases) {
    auto r = Defaults();
    c.change(*r);
    Outcome o = Validate(*r);
    EXPECT_FALSE(o.ok) << c.what;
    EXPECT_EQ(o.code, c.code) << c.what;
    EXPECT_EQ(o.reason, c.reason) << c.what;
  }
}

TEST(DecomSetupValidateTest, BoundaryValuesPass) {
  auto r = Defaults();
  r->SyncPattern.FrmSyncPatLen = 3;
  r->NumSubframes = 1024;
  r->SubFrameIdWord = 2;  // F + sync words = 0 + 2
  r->SubFrameIdStartBitLsb = 15;
  r->FramesPerInterrupt = 251;  // 251 x 261 x 2 = 131,022 bytes
  r->WordTable[300].iWdLen = 0;  // beyond the frame: not checked
  EXPECT_TRUE(Validate(*r).ok);

  r = Defaults();
  r->SyncPattern.FrmSyncPatLen = 64;
  r->SubFrameIdWord = 4;  // 64 / 16 = 4 sync words
  r->WordsPerFrame = 16383;
  r->FramesPerInterrupt = 3;
  EXPECT_TRUE(Validate(*r).ok);
}

TEST(DecomSetupValidateTest, SyncWordsRoundUp) {
  auto r = Defaults();
  r->CommonWordLength = 10;
  for (int i = 0; i < 256; ++i) r->WordTable[i].iWdLen = 10;
  r->SyncPattern.FrmSyncPatLen = 21;  // three 10-bit words
  r->SubFrameIdWord = 2;
  Outcome o = Validate(*r);
  EXPECT_EQ(o.code, 14);
  EXPECT_EQ(o.reason, "SfId Word Must be Greater than 2");
  r->SubFrameIdWord = 3;
  EXPECT_TRUE(Validate(*r).ok);
}

TEST(DecomSetupValidateTest, FirstFailingCheckWins) {
  auto r = Defaults();
  r->SyncPattern.FrmSyncPatLen = 100;
  r->FramesPerInterrupt = 1000;
  r->CommonWordLength = 0;
  Outcome o = Validate(*r);
  EXPECT_EQ(o.code, 10);
  EXPECT_EQ(r->FramesPerInterrupt, 1000);  // check 17 never ran
}

TEST(DecomSetupValidateTest, FramesPerInterruptIsCorrectedAndStillRejected) {
  auto r = Defaults();
  r->WordsPerFrame = 16;
  r->SubFrameIdWord = 3;
  r->FramesPerInterrupt = 4000;  // 4000 x 21 x 2 > 131,072
  Outcome o = Validate(*r);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.code, 17);
  // 131,072 / 42 = 3120; the field keeps 3120 mod 256 = 48; the reason
  // shows the first three digits.
  EXPECT_EQ(r->FramesPerInterrupt, 48);
  EXPECT_EQ(o.reason,
            "Frames Per Interrupt TOO LARGE for the card.  Max is 13107 bytes.  Max Frames Per Interrupt is 312");
}

TEST(DecomSetupValidateTest, NoSubframeSyncPlacesTheSfidWordAndPasses) {
  auto r = Defaults();
  r->eSyncMethod = 0;
  r->PatternLeads = 1;
  r->SubFrameIdWord = 300;   // would fail check 13
  r->NumSubframes = 5000;    // would fail check 12
  r->FirstFrame = 7;
  r->LastFrame = 9;
  r->SubframeDirection = 1;
  r->SubFrameIdStartBitLsb = 99;  // start bit is not checked without subframes
  EXPECT_TRUE(Validate(*r).ok);
  EXPECT_EQ(r->SubFrameIdWord, 255);  // WordsPerFrame - 1
  EXPECT_EQ(r->NumSubframes, 1);
  EXPECT_EQ(r->FirstFrame, 0);
  EXPECT_EQ(r->LastFrame, 0);
  EXPECT_EQ(r->SubframeDirection, 0);

  r = Defaults();
  r->eSyncMethod = 0;
  r->PatternLeads = 0;
  EXPECT_TRUE(Validate(*r).ok);
  EXPECT_EQ(r->SubFrameIdWord, 0);  // allowed: no SFID word is read without subframes
}

TEST(DecomSetupValidateTest, PcmInputCodeAboveEighteenIsCleared) {
  auto r = Defaults();
  r->PcmInputCode = 18;
  EXPECT_TRUE(Validate(*r).ok);
  EXPECT_EQ(r->PcmInputCode, 18);
  r->PcmInputCode = 19;
  EXPECT_TRUE(Validate(*r).ok);
  EXPECT_EQ(r->PcmInputCode, 0);
}

TEST(DecomSetupValidateTest, BadSubframeDirectionLogsTwiceAndResetsTheRecord) {
  testutil::TempDir dir;
  testutil::BeepRecorder beeps;
  const std::string previous = CurrentFolder();
  ASSERT_TRUE(SetCurrentFolder(dir.path()));
  StartErrorLog(false, "1.00", "OrloVarnel", "", "OrloVarnel");
  const std::string log_path = ErrorLogPath();

  auto r = Defaults();
  r->SubframeDirection = 2;
  r->WordsPerFrame = 100;
  r->CommonWordLength = 12;
  Outcome o = Validate(*r);
  EndErrorLog(false);
  SetCurrentFolder(previous);

  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.reason, "");
  EXPECT_EQ(r->WordsPerFrame, 256);
  EXPECT_EQ(r->CommonWordLength, 16);
  EXPECT_EQ(r->SubframeDirection, 0);
  const std::string log = testutil::ReadAllText(log_path);
  EXPECT_NE(log.find("000002  "), std::string::npos) << log;
  EXPECT_NE(log.find("INVALID SUBFRAME DIRECTION, CORRECTING TO COUNTS UP\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("000255  "), std::string::npos);
  EXPECT_NE(log.find("Appear to have file corruption for simulator, setting defaults\r\n"), std::string::npos);
  EXPECT_EQ(beeps.Count(BeepKind::Error), 0);  // information lines sound no tone
}

// Whatever a setup file holds, an accepted record has packable word lengths
// and an SFID word inside the word table.
TEST(DecomSetupValidateTest, AcceptedRandomRecordsAreSafeToUse) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto r = std::make_unique<decomsetupstruct>();
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    SetDecomSetupDefaults(*r);
    r->WordsPerFrame = static_cast<int16_t>(pick(-10, 300));
    r->CommonWordLength = static_cast<uint8_t>(pick(0, 20));
    r->SubFrameIdWord = static_cast<int16_t>(pick(-5, 310));
    r->SubFrameIdStartBitLsb = static_cast<int16_t>(pick(-2, 18));
    r->FirstFrame = static_cast<int16_t>(pick(-3, 70));
    r->LastFrame = static_cast<int16_t>(pick(-3, 70));
    r->SyncPattern.FrmSyncPatLen = static_cast<int16_t>(pick(0, 70));
    r->PatternLeads = pick(0, 2);
    r->eSyncMethod = pick(0, 3);
    r->SubframeDirection = pick(0, 1);
    r->FramesPerInterrupt = static_cast<int16_t>(pick(-40000, 40000));
    for (int i = 0; i < 310; ++i) r->WordTable[i].iWdLen = pick(0, 4) == 0 ? pick(-2, 20) : r->CommonWordLength;
    int32_t code = 0;
    std::string reason;
    if (!ValidateDecomSetup(*r, code, reason)) {
      EXPECT_GE(code, 10);
      EXPECT_FALSE(reason.empty());
      continue;
    }
    ++accepted;
    EXPECT_GE(r->CommonWordLength, 1);
    EXPECT_LE(r->CommonWordLength, 16);
    for (int i = 0; i < r->WordsPerFrame; ++i) {
      ASSERT_GE(r->WordTable[i].iWdLen, 1);
      ASSERT_LE(r->WordTable[i].iWdLen, 16);
    }
    if (r->eSyncMethod != 0) {
      EXPECT_GE(r->SubFrameIdWord, 1);
      EXPECT_LE(r->SubFrameIdWord, r->WordsPerFrame);
    }
  }
  EXPECT_GT(accepted, 10);
}

}  // namespace
