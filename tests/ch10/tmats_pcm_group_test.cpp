// The PCM format group: bit rate, frame type, word-length exception pairs,
// words in the minor frame (sync counted as one word), the sync pattern and
// the subframe ID counter block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/ark_header.h"
#include "ch10/tmats_builder.h"

namespace {

constexpr int32_t kHexRadix = 2;

// A record with every word of the common length.
std::unique_ptr<arkheaderstruct> MakeRecord(int32_t words, int32_t common_length,
                                       int32_t minor_frames = 1) {
  auto header = std::make_unique<arkheaderstruct>();
  header->WordsPerMinorFrame = words;
  header->CommonWordLength = common_length;
  header->NumMinorFrames = minor_frames;
  header->MinorFrameRate = 100.0;
  const int32_t filled = std::min(words, kWordTableEntries);
  for (int32_t i = 0; i < filled; ++i) {
    header->WordTable[i].iWdNum = i + 1;
    header->WordTable[i].iWdLen = common_length;
  }
  header->BitsPerMinorFrame = words * common_length;
  return header;
}

void SetSync(arkheaderstruct& header, const char* hex_text, int16_t length_bits) {
  header.SyncPattern.FrmSyncPatRadix = kHexRadix;
  std::memset(header.SyncPattern.FrmSyncPat, 0, sizeof(header.SyncPattern.FrmSyncPat));
  std::strncpy(header.SyncPattern.FrmSyncPat, hex_text, sizeof(header.SyncPattern.FrmSyncPat) - 1);
  header.SyncPattern.FrmSyncPatLen = length_bits;
}

std::vector<std::string> Group(const arkheaderstruct& header) {
  std::vector<std::string> lines;
  AddTmatsPcmFormatGroup(lines, header, "GroupG_DS_Ch10Conversion", "PCM_CH_DATA",
                         "DLN_CH_TIME");
  return lines;
}

// The value of the first line starting with code + ":" ("" if none).
std::string ValueOf(const std::vector<std::string>& lines, const std::string& code) {
  const std::string key = code + ":";
  for (const std::string& line : lines) {
    if (line.compare(0, key.size(), key) == 0) return line.substr(key.size());
  }
  return "<missing " + code + ">";
}

bool HasCodePrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; });
}

TEST(TmatsPcmGroup, OneMinorFrameGivesTheWholeGroupWithoutCounter) {
  auto header = MakeRecord(256, 16);
  SetSync(*header, "FE6B2840", 32);
  header->MinorFrameRate = 1000.0;
  const std::vector<std::string> expected = {
      "P-1\\DLN:PCM_CH_DATA", "P-1\\D1:NRZ-L",   "P-1\\D2:4096000", "P-1\\D3:U",
      "P-1\\D4:N",            "P-1\\D5:N",       "P-1\\D6:N",       "P-1\\D7:N",
      "P-1\\D8:N/A",          "P-1\\TF:ONE",     "P-1\\F1:16",      "P-1\\F2:M",
      "P-1\\F3:NO",           "P-1\\F4:L",       "P-1\\MF\\N:1",    "P-1\\MF1:255",
      "P-1\\MF2:4096",        "P-1\\MF3:FPT",    "P-1\\MF4:32",
      "P-1\\MF5:11111110011010110010100001000000",
      "P-1\\ISF\\N:0",
  };
  EXPECT_EQ(Group(*header), expected);
}

TEST(TmatsPcmGroup, WordsInMinorFrameCountTheSyncAsOneWord) {
  auto a = MakeRecord(256, 16);
  SetSync(*a, "FE6B2840", 32);
  EXPECT_EQ(ValueOf(Group(*a), "P-1\\MF1"), "255");

  auto b = MakeRecord(16, 8);
  SetSync(*b, "FAF320", 24);
  EXPECT_EQ(ValueOf(Group(*b), "P-1\\MF1"), "14");

  auto c = MakeRecord(16, 8);
  SetSync(*c, "FAF32", 20);  // 20 bits still take 3 whole 8-bit words
  EXPECT_EQ(ValueOf(Group(*c), "P-1\\MF1"), "14");

  EXPECT_EQ(TmatsSyncWordCount(32, 16), 2);
  EXPECT_EQ(TmatsSyncWordCount(24, 8), 3);
  EXPECT_EQ(TmatsSyncWordCount(20, 8), 3);
  EXPECT_EQ(TmatsSyncWordCount(0, 8), 0);
}

TEST(TmatsPcmGroup, ZeroCommonWordLengthDoesNotDivide) {
  auto header = MakeRecord(64, 0);
  SetSync(*header, "FAF320", 24);
  // The pattern counts as one word: MF1 equals the words per minor frame.
  EXPECT_EQ(TmatsSyncWordCount(24, 0), 1);
  EXPECT_EQ(ValueOf(Group(*header), "P-1\\MF1"), "64");
}

TEST(TmatsPcmGroup, SyncPatternInBinaryWithoutLeadingZeros) {
  auto header = MakeRecord(16, 8);
  SetSync(*header, "FAF320", 24);
  auto lines = Group(*header);
  EXPECT_EQ(ValueOf(lines, "P-1\\MF5"), "111110101111001100100000");
  EXPECT_EQ(ValueOf(lines, "P-1\\MF4"), "24");

  SetSync(*header, "0FAF3200", 32);
  lines = Group(*header);
  EXPECT_EQ(ValueOf(lines, "P-1\\MF5"), "1111101011110011001000000000");
  EXPECT_EQ(ValueOf(lines, "P-1\\MF5").size(), 28u);
  EXPECT_EQ(ValueOf(lines, "P-1\\MF4"), "32");
}

TEST(TmatsPcmGroup, FrameTypeByWordCount) {
  auto one = MakeRecord(65535, 16);
  EXPECT_EQ(ValueOf(Group(*one), "P-1\\TF"), "ONE");
  auto two = MakeRecord(65536, 16);
  EXPECT_EQ(ValueOf(Group(*two), "P-1\\TF"), "TWO");
}

TEST(TmatsPcmGroup, BitRateFromFrameBitsAndRate) {
  auto header = MakeRecord(128, 16);
  header->MinorFrameRate = 488.28125;
  ASSERT_EQ(header->BitsPerMinorFrame, 2048);
  EXPECT_EQ(ValueOf(Group(*header), "P-1\\D2"), "1000000");
  // A 13-digit rate loses its last digit to the 12-character field.
  header->BitsPerMinorFrame = 1000000;
  header->MinorFrameRate = 1000000.0;
  EXPECT_EQ(ValueOf(Group(*header), "P-1\\D2"), "100000000000");
}

TEST(TmatsPcmGroup, WordLengthExceptionPairsInTableOrder) {
  auto header = MakeRecord(6, 8);
  header->WordTable[2].iWdLen = 12;
  header->WordTable[5].iWdLen = 4;
  const auto lines = Group(*header);
  const auto f2 = std::find(lines.begin(), lines.end(), "P-1\\F2:M");
  ASSERT_NE(f2, lines.end());
  const std::vector<std::string> pairs(f2 + 1, f2 + 6);
  const std::vector<std::string> expected = {
      "P-1\\MFW1-1:3", "P-1\\MFW2-1:12", "P-1\\MFW1-2:6", "P-1\\MFW2-2:4", "P-1\\F3:NO",
  };
  EXPECT_EQ(pairs, expected);
}

TEST(TmatsPcmGroup, NoExceptionPairsWhenAllWordsHaveTheCommonLength) {
  auto header = MakeRecord(32, 12);
  const auto lines = Group(*header);
  EXPECT_FALSE(HasCodePrefix(lines, "P-1\\MFW"));
  const auto f2 = std::find(lines.begin(), lines.end(), "P-1\\F2:M");
  ASSERT_NE(f2, lines.end());
  ASSERT_NE(f2 + 1, lines.end());
  EXPECT_EQ(*(f2 + 1), "P-1\\F3:NO");
}

TEST(TmatsPcmGroup, WordsBeyondTheWordTableGetNoPairs) {
  auto header = MakeRecord(20000, 16);
  header->WordTable[kWordTableEntries - 1].iWdLen = 10;
  const auto lines = Group(*header);
  EXPECT_EQ(ValueOf(lines, "P-1\\MFW1-1"), "16383");
  EXPECT_EQ(ValueOf(lines, "P-1\\MFW2-1"), "10");
  EXPECT_FALSE(HasCodePrefix(lines, "P-1\\MFW1-2:"));
}

TEST(TmatsPcmGroup, SubframeCounterFromStartCountZero) {
  auto header = MakeRecord(64, 16, 16);
  header->SfidWordNumber = 3;
  header->SfidMsb = 7;
  const auto lines = Group(*header);
  EXPECT_EQ(ValueOf(lines, "P-1\\ISF\\N"), "1");
  const std::vector<std::string> tail(lines.end() - 12, lines.end());
  const std::vector<std::string> expected = {
      "P-1\\ISF1-1:SFID1", "P-1\\ISF2-1:ID", "P-1\\IDC1-1:3",  "P-1\\IDC2-1:16",
      "P-1\\IDC3-1:7",     "P-1\\IDC4-1:4",  "P-1\\IDC5-1:M",  "P-1\\IDC6-1:0",
      "P-1\\IDC7-1:1",     "P-1\\IDC8-1:15", "P-1\\IDC9-1:16", "P-1\\IDC10-1:INC",
  };
  EXPECT_EQ(tail, expected);
  EXPECT_EQ(*(lines.end() - 13), "P-1\\ISF\\N:1");
}

TEST(TmatsPcmGroup, SubframeCounterFromStartCountOne) {
  auto header = MakeRecord(64, 16, 16);
  header->SfidStartCount = 1;
  const auto lines = Group(*header);
  EXPECT_EQ(ValueOf(lines, "P-1\\IDC6-1"), "1");
  EXPECT_EQ(ValueOf(lines, "P-1\\IDC8-1"), "16");
  EXPECT_EQ(ValueOf(lines, "P-1\\IDC4-1"), "5");
}

TEST(TmatsPcmGroup, SignificantBitsOfTheEndCount) {
  const struct {
    int32_t frames;
    const char* bits;
  } cases[] = {{2, "1"}, {3, "2"}, {4, "2"}, {5, "3"}, {8, "3"}, {256, "8"}, {257, "9"}};
  for (const auto& c : cases) {
    auto header = MakeRecord(8, 8, c.frames);
    EXPECT_EQ(ValueOf(Group(*header), "P-1\\IDC4-1"), c.bits) << c.frames;
  }
}

TEST(TmatsPcmGroup, SubframeWordLengthAndOrderFromItsTableEntry) {
  auto header = MakeRecord(4, 8, 4);
  header->WordTable[2].iWdLen = 12;
  header->WordTable[2].bLSBF = 1;
  header->SfidWordNumber = 2;
  auto lines = Group(*header);
  EXPECT_EQ(ValueOf(lines, "P-1\\IDC1-1"), "2");
  EXPECT_EQ(ValueOf(lines, "P-1\\IDC2-1"), "12");
  EXPECT_EQ(ValueOf(lines, "P-1\\IDC5-1"), "L");
}

TEST(TmatsPcmGroup, SubframeWordOutsideTheTableUsesTheCommonWord) {
  for (int32_t word : {-1, kWordTableEntries, 1000000}) {
    auto header = MakeRecord(4, 10, 4);
    header->SfidWordNumber = word;
    const auto lines = Group(*header);
    EXPECT_EQ(ValueOf(lines, "P-1\\IDC1-1"), std::to_string(word).substr(0, 9)) << word;
    EXPECT_EQ(ValueOf(lines, "P-1\\IDC2-1"), "10") << word;
    EXPECT_EQ(ValueOf(lines, "P-1\\IDC5-1"), "M") << word;
  }
}

}  // namespace
