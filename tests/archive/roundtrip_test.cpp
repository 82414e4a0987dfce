// Archives from the generator, over a wide range of settings, read back
// through the archive object: every header field, the start and stop time,
// the setup part, and every frame's time, status and words.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/frame_header.h"
#include "archive/setup_prompts.h"
#include "common/test_helpers.h"
#include "mkarchive/archive_generator.h"
#include "support/beeper.h"

namespace {

using mkarchive::ArchiveSettings;
using mkarchive::LastBlockFill;

struct RoundTripCase {
  const char* name;
  std::function<void(ArchiveSettings&)> set;
};

std::string HexText(uint64_t pattern, int bits) {
  char text[32];
  uint64_t masked = bits >= 64 ? pattern : pattern & ((1ull << bits) - 1);
  std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(masked));
  return masked == 0 ? std::string() : std::string(text);
}

void CheckHeader(const orloarkclass& ark, const ArchiveSettings& settings, const mkarchive::ArchiveLayout& layout) {
  const arkheaderstruct& h = ark.Header();
  const int32_t n = settings.status_bytes_per_block / 8;
  EXPECT_EQ(h.HeaderValue1, settings.header_value_1);
  EXPECT_EQ(h.ArchiveYear, settings.year);
  EXPECT_EQ(h.BlockSize, layout.block_size);
  EXPECT_EQ(h.HeaderValue6, settings.header_value_6);
  EXPECT_EQ(h.SerialBytesPerBlock, layout.serial_bytes);
  EXPECT_EQ(h.StatusBytesPerBlock, settings.status_bytes_per_block);
  EXPECT_EQ(h.HeaderValue9, settings.header_value_9);
  EXPECT_EQ(h.WordsPerMinorFrame, settings.words_per_frame);
  EXPECT_EQ(h.NumMinorFrames, settings.num_minor_frames);
  EXPECT_EQ(h.SfidStartCount, settings.sfid_start_count);
  EXPECT_EQ(h.SfidWordNumber, settings.sfid_word);
  EXPECT_EQ(h.RightAligned, settings.right_aligned);
  EXPECT_EQ(h.FramesPerBlock, settings.frames_per_block);
  EXPECT_EQ(h.FrameHeaderWords, 5);
  EXPECT_EQ(h.MinorFrameRate, settings.frame_rate_hz);
  EXPECT_EQ(h.SetupFileName, " " + settings.setup_file_name);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(h.DescriptionTexts[k], " " + settings.description_texts[k]);
  EXPECT_EQ(h.HeaderValue16, settings.header_value_16);
  EXPECT_EQ(h.HeaderValue17, settings.header_value_17);
  for (int k = 0; k < n; ++k) {
    std::string text = k < static_cast<int>(settings.status_descriptions.size()) ? settings.status_descriptions[k]
                                                                            : "STATUS WORD " + std::to_string(k + 1);
    EXPECT_EQ(h.StatusDescriptions[k], " " + text) << k;
  }
  for (int k = n; k < kStatusDescriptionCount; ++k) EXPECT_EQ(h.StatusDescriptions[k], "") << k;

  EXPECT_EQ(ark.HeaderBytes(), layout.header_bytes);
  EXPECT_EQ(ark.FileSize(), layout.file_bytes);
  EXPECT_DOUBLE_EQ(ark.BlockDuration(), settings.frames_per_block * (1.0 / settings.frame_rate_hz));
  EXPECT_EQ(ark.FirstFrameTime(), layout.first_frame_time);
  EXPECT_EQ(h.StartTime, layout.first_frame_time);
  // The stop time comes from the last whole block (a cut-short block does
  // not count).
  double last_block_time = layout.last_block_time;
  const int64_t whole_blocks = (layout.file_bytes - layout.header_bytes) / layout.block_size;
  if (whole_blocks > 0 && whole_blocks < layout.blocks)
    last_block_time = mkarchive::ExpectedFrames(settings)[(whole_blocks - 1) * settings.frames_per_block].time;
  if (last_block_time >= h.StartTime && last_block_time < 31536000.0) {
    EXPECT_EQ(h.StopTime, last_block_time);
  } else {
    // The last block's time is out of range: the header's stop time stands.
    const double header_stop = settings.header_stop_time ? *settings.header_stop_time : layout.last_frame_time;
    EXPECT_NEAR(h.StopTime, header_stop, 1e-6);
  }
}

void CheckSetupPart(const orloarkclass& ark, const ArchiveSettings& settings, bool from_file) {
  const arkheaderstruct& h = ark.Header();
  int32_t bits = 0;
  bool variable = false;
  const int32_t common = from_file ? settings.common_word_length : 16;
  for (int32_t w = 0; w < settings.words_per_frame; ++w) {
    int32_t length = from_file ? mkarchive::WordLength(settings, w) : 16;
    ASSERT_EQ(+h.WordTable[w].iWdLen, length) << w;
    ASSERT_EQ(+h.WordTable[w].iWdNum, w);
    ASSERT_EQ(h.WordTable[w].bLeftAlign != 0, from_file && mkarchive::WordLeftJustified(settings, w)) << w;
    bits += length;
    variable = variable || length != common;
  }
  EXPECT_EQ(h.CommonWordLength, common);
  EXPECT_EQ(h.BitsPerMinorFrame, bits);
  EXPECT_EQ(h.VariableWordLengths, variable);
  if (from_file) {
    EXPECT_EQ(h.FspLeads, settings.sync_enabled);
    EXPECT_EQ(+h.SyncPattern.FrmSyncPatRadix, 2);
    if (settings.sync_enabled) {
      EXPECT_EQ(+h.SyncPattern.FrmSyncPatLen, settings.sync_bits);
      EXPECT_EQ(std::string(h.SyncPattern.FrmSyncPat), HexText(settings.sync_pattern, settings.sync_bits));
    }
  } else {
    EXPECT_TRUE(h.FspLeads);
    EXPECT_EQ(+h.SyncPattern.FrmSyncPatLen, 32);
    EXPECT_STREQ(h.SyncPattern.FrmSyncPat, "FE6B2840");
  }
}

// Reads every block and compares its frames with the generator's sequence.
void CheckFrames(orloarkclass& ark, const ArchiveSettings& settings, const mkarchive::ArchiveLayout& layout) {
  std::vector<mkarchive::FrameRecord> expected = mkarchive::ExpectedFrames(settings);
  const int32_t wpf = settings.words_per_frame;
  const int32_t per_block = settings.frames_per_block;
  const size_t stride = (static_cast<size_t>(wpf) + 5) * 2;
  size_t whole_blocks = expected.size() / per_block;
  if (settings.last_block != LastBlockFill::kCutShort) {
    ASSERT_EQ(expected.size() % per_block, 0u);
  }

  size_t frame = 0;
  int64_t block = 0;
  std::vector<uint8_t> words(wpf * 2);
  for (;;) {
    ark.ReadNextBlock();
    if (ark.EndOfData()) break;
    ASSERT_LT(static_cast<size_t>(block), whole_blocks);
    ASSERT_GE(ark.SerialBuffer().size(), per_block * stride);
    double block_time = expected[frame].time;
    if (settings.last_block_time && block == layout.blocks - 1) block_time = *settings.last_block_time;
    EXPECT_EQ(ark.BlockTime(), block_time) << block;
    EXPECT_EQ(ark.BlockRunCount(), static_cast<uint16_t>(block & 0xFFFF));
    for (int32_t k = 0; k < per_block; ++k, ++frame) {
      const mkarchive::FrameRecord& want = expected[frame];
      const uint8_t* at = ark.SerialData() + k * stride;
      double time = -1;
      int32_t sfid = -1, state_a = 0, state_b = 0;
      DecodeFrameHeader(at, time, sfid, state_a, state_b);
      ASSERT_EQ(time, want.time) << "frame " << frame;
      ASSERT_EQ(sfid, want.status_word & 0x3FF) << "frame " << frame;
      ASSERT_EQ(state_a, (want.status_word & 0x2000) ? 2 : 1);
      ASSERT_EQ(state_b, (want.status_word & 0x4000) ? 2 : 1);
      for (int32_t w = 0; w < wpf; ++w) {
        uint16_t got = static_cast<uint16_t>(at[10 + 2 * w] | (at[11 + 2 * w] << 8));
        ASSERT_EQ(got, want.words[w]) << "frame " << frame << " word " << w;
      }
    }
    ++block;
  }
  EXPECT_EQ(static_cast<size_t>(block), whole_blocks);
  EXPECT_EQ(frame, whole_blocks * per_block);
  EXPECT_EQ(ark.FilePosition(), settings.last_block == LastBlockFill::kCutShort ? layout.file_bytes
                                                                          : ark.FileSize());
}

const RoundTripCase kCases[] = {
    {"defaults", [](ArchiveSettings&) {}},
    {"one 8-bit word, one frame per block",
     [](ArchiveSettings& s) {
       s.words_per_frame = 1;
       s.common_word_length = 8;
       s.sync_enabled = false;
       s.sfid_word = 0;
       s.frames_per_block = 1;
       s.frame_count = 5;
       s.setup_file.write = true;
     }},
    {"256 words, 1024 status bytes, gaps, setup file",
     [](ArchiveSettings& s) {
       s.words_per_frame = 256;
       s.status_bytes_per_block = 1024;
       s.status_descriptions = {"ALPHA", "BRAVO"};
       s.frame_count = 300;
       s.gaps = {{10, 5}, {100, 1}, {102, 40}};
       s.setup_file.write = true;
       s.setup_file_name = "D:/SETUPS/RUN 7.B50";
     }},
    {"mixed lengths, left justified, dirty bits, zero-filled last block",
     [](ArchiveSettings& s) {
       s.words_per_frame = 7;
       s.common_word_length = 12;
       s.word_lengths = {12, 12, 8, 10, 16, 3, 1};
       s.left_justified = {0, 1, 0, 1, 1, 0, 1};
       s.dirty_unused_bits = true;
       s.frames_per_block = 3;
       s.status_bytes_per_block = 13;
       s.frame_rate_hz = 1e6 / 3;
       s.sync_pattern = 0xEB90;
       s.sync_bits = 16;
       s.num_minor_frames = 16;
       s.sfid_start_count = 1;
       s.frame_count = 10;
       s.last_block = LastBlockFill::kZeroFrames;
       s.setup_file.write = true;
       s.setup_file.edit = [](decomsetupstruct& r) { r.SubFrameIdStartBitLsb = 4; };
     }},
    {"half a hertz across midnight",
     [](ArchiveSettings& s) {
       s.frame_rate_hz = 0.5;
       s.start_time = 123 * 86400.0 + 86400.0 - 3.25;
       s.year = 1999;
       s.frames_per_block = 2;
       s.frame_count = 7;
     }},
    {"end of the year: last block time not taken",
     [](ArchiveSettings& s) {
       s.start_time = 365 * 86400.0 + 5.0;
       s.frame_count = 64;
       s.setup_file.write = true;
     }},
    {"repeated, backward and shifted times, flags, LF lines, NUL terminator",
     [](ArchiveSettings& s) {
       s.words_per_frame = 33;
       s.frames_per_block = 5;
       s.frame_count = 90;
       s.time_shifts = {{20, -1000, false}, {50, -5000, true}, {60, 1234, false}};
       s.status_a_every = 3;
       s.status_b_every = 5;
       s.seed = 99;
       s.line_end = std::string(1, '\n');
       s.terminator = 0;
       s.header_value_1 = -4;
       s.header_value_6 = 6;
       s.header_value_9 = 9;
       s.header_value_16 = 16;
       s.header_value_17 = 17;
       s.right_aligned = false;
       s.description_texts[1] = "";
     }},
    {"cut-short last block, version 1 setup file ignored",
     [](ArchiveSettings& s) {
       s.frames_per_block = 8;
       s.frame_count = 37;
       s.last_block = LastBlockFill::kCutShort;
       s.setup_file.write = true;
       s.setup_file.version = 1;
     }},
    {"2000 ten-bit words, all left justified, serial slack",
     [](ArchiveSettings& s) {
       s.words_per_frame = 2000;
       s.common_word_length = 10;
       s.left_justified.assign(2000, 1);
       s.sync_pattern = 0x3CDA80;  // 22 bits over three 10-bit words
       s.sync_bits = 22;
       s.sfid_word = 4;
       s.num_minor_frames = 1024;
       s.frames_per_block = 2;
       s.serial_slack_bytes = 6;
       s.frame_count = 9;
       s.setup_file.write = true;
     }},
    {"SFID counting from 5, 3 minor frames, last block time overridden",
     [](ArchiveSettings& s) {
       s.num_minor_frames = 3;
       s.sfid_start_count = 5;
       s.frame_count = 48;
       s.last_block_time = 123 * 86400.0 + 12 * 3600.0;
     }},
};

class RoundTripTest : public ::testing::TestWithParam<size_t> {};

TEST_P(RoundTripTest, ArchiveReadsBackExactly) {
  const RoundTripCase& c = kCases[GetParam()];
  SCOPED_TRACE(c.name);
  ArchiveSettings settings;
  c.set(settings);
  ASSERT_EQ(mkarchive::CheckSettings(settings), "");

  testutil::TempDir dir;
  testutil::BeepRecorder beeps;
  SetTextInputHook(nullptr);
  const std::string path = dir.File("RUN.Ark");
  std::string error;
  ASSERT_TRUE(mkarchive::WriteArchive(path, settings, &error)) << error;
  const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
  ASSERT_EQ(static_cast<int64_t>(testutil::ReadAllBytes(path).size()), layout.file_bytes);

  orloarkclass ark;
  ASSERT_TRUE(ark.OpenArkFile(path));
  CheckHeader(ark, settings, layout);
  const bool from_file = settings.setup_file.write && settings.setup_file.version >= 2;
  CheckSetupPart(ark, settings, from_file);
  CheckFrames(ark, settings, layout);
  EXPECT_EQ(beeps.Count(BeepKind::Error), 0);
}

INSTANTIATE_TEST_SUITE_P(Settings, RoundTripTest, ::testing::Range<size_t>(0, std::size(kCases)));

// The generator's own promises, independent of the reader.
TEST(GeneratorTest, FramesFollowTheNominalTimesGapsAndCounter) {
  ArchiveSettings settings;
  settings.frame_rate_hz = 400;
  settings.frame_count = 30;
  settings.frames_per_block = 10;
  settings.gaps = {{3, 2}};
  settings.num_minor_frames = 4;
  settings.sfid_start_count = 1;
  settings.time_shifts = {{10, -2500, false}};
  std::vector<mkarchive::FrameRecord> frames = mkarchive::ExpectedFrames(settings);
  ASSERT_EQ(frames.size(), 30u);
  const int64_t start_us = static_cast<int64_t>(settings.start_time) * 1000000;
  std::vector<int64_t> indices;
  for (const auto& f : frames) indices.push_back(f.nominal_index);
  EXPECT_EQ(indices[2], 2);
  EXPECT_EQ(indices[3], 5);  // 3 and 4 dropped
  EXPECT_EQ(indices.back(), 31);
  for (const auto& f : frames) {
    int64_t due = start_us + f.nominal_index * 2500 - (f.nominal_index == 10 ? 2500 : 0);
    EXPECT_EQ(f.time_us, due) << f.nominal_index;
    EXPECT_EQ(f.sfid, 1 + f.nominal_index % 4);
    EXPECT_EQ(f.words[0], 0xFE6B);
    EXPECT_EQ(f.words[1], 0x2840);
    EXPECT_EQ(f.words[2], f.sfid);
  }
  // Frame 10 repeats frame 9's time.
  EXPECT_EQ(frames[7].nominal_index, 9);
  EXPECT_EQ(frames[8].time, frames[7].time);
}

TEST(GeneratorTest, WordsKeepToTheirLengthAndJustification) {
  ArchiveSettings settings;
  settings.words_per_frame = 6;
  settings.word_lengths = {16, 16, 16, 5, 12, 1};
  settings.left_justified = {0, 0, 0, 0, 1, 1};
  settings.frame_count = 200;
  int ones_seen[6] = {};
  for (const auto& f : mkarchive::ExpectedFrames(settings)) {
    EXPECT_EQ(f.words[3] & ~0x1F, 0);
    EXPECT_EQ(f.words[4] & 0x000F, 0);
    EXPECT_EQ(f.words[5] & 0x7FFF, 0);
    for (int w = 3; w < 6; ++w) ones_seen[w] += f.words[w] != 0;
  }
  for (int w = 3; w < 6; ++w) EXPECT_GT(ones_seen[w], 50) << w;  // the data is not constant
}

TEST(GeneratorTest, FrameHeaderEncodingMatchesTheDecoder) {
  uint8_t bytes[10];
  const int64_t us = (123LL * 86400 + 12 * 3600 + 34 * 60 + 56) * 1000000 + 123456;
  mkarchive::EncodeFrameHeader(us, 0x6005, bytes);
  const uint8_t want[10] = {0x01, 0x23, 0x12, 0x34, 0x56, 0x12, 0x34, 0x56, 0x05, 0x60};
  EXPECT_EQ(std::memcmp(bytes, want, 10), 0);
  double time = 0;
  int32_t sfid = 0, a = 0, b = 0;
  DecodeFrameHeader(bytes, time, sfid, a, b);
  EXPECT_EQ(time, mkarchive::FrameHeaderTime(us));
  EXPECT_EQ(time, 10672496.123456);
}

TEST(GeneratorTest, RejectsSettingsItCannotWrite) {
  auto bad = [](std::function<void(ArchiveSettings&)> change) {
    ArchiveSettings settings;
    change(settings);
    return !mkarchive::CheckSettings(settings).empty();
  };
  EXPECT_TRUE(bad([](ArchiveSettings& s) { s.words_per_frame = 0; }));
  EXPECT_TRUE(bad([](ArchiveSettings& s) { s.words_per_frame = 16384; }));
  EXPECT_TRUE(bad([](ArchiveSettings& s) { s.word_lengths = {17}; }));
  EXPECT_TRUE(bad([](ArchiveSettings& s) { s.frame_rate_hz = 0; }));
  EXPECT_TRUE(bad([](ArchiveSettings& s) { s.status_bytes_per_block = 1025; }));
  EXPECT_TRUE(bad([](ArchiveSettings& s) { s.sfid_word = 2; }));  // inside the 32-bit sync pattern
  EXPECT_TRUE(bad([](ArchiveSettings& s) {
    s.words_per_frame = 1;
    s.sfid_word = 0;
  }));  // 32-bit pattern in one 16-bit word
  testutil::TempDir dir;
  ArchiveSettings settings;
  settings.frames_per_block = 0;
  std::string error;
  EXPECT_FALSE(mkarchive::WriteArchive(dir.File("X.Ark"), settings, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
