// The whole-word packing kernels against the bit-by-bit reference.
#include "pack/bit_packer.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "pack_test_support.h"

namespace {

using packtest::ReferencePacker;

// The words as little-endian containers starting `offset` bytes into the
// returned bytes, as frames lie in a frame block (at any alignment).
std::vector<uint8_t> Containers(const std::vector<uint16_t>& words, size_t offset) {
  std::vector<uint8_t> bytes(offset + 2 * words.size());
  for (size_t i = 0; i < words.size(); ++i) {
    bytes[offset + 2 * i] = static_cast<uint8_t>(words[i]);
    bytes[offset + 2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
  }
  return bytes;
}

// Runs the kernel output and the state's padded last word into one list.
std::vector<uint16_t> Finish(std::vector<uint16_t> words, size_t stored, bitstreamstate& state) {
  words.resize(stored + 1);
  words.resize(stored + PackPadLastWord(state, words.data() + stored));
  return words;
}

TEST(BitPackerTest, UniformRunsMatchReferenceForEveryLengthJustificationAndStartPhase) {
  std::mt19937 rng(7);
  for (int length = 1; length <= 16; ++length) {
    for (bool left : {false, true}) {
      for (int lead_bits = 0; lead_bits < 16; ++lead_bits) {
        std::vector<uint16_t> data(301);
        for (uint16_t& w : data) w = static_cast<uint16_t>(rng());

        ReferencePacker ref;
        bitstreamstate state;
        std::vector<uint16_t> out(400);
        size_t stored = 0;
        // A start phase of lead_bits, made of one word of that length.
        if (lead_bits > 0) {
          ref.PackWord(0x5A5A, lead_bits, false);
          stored += PackSingleWord(state, 0x5A5A, MakeWordLayout(lead_bits, false), out.data());
        }
        for (uint16_t w : data) ref.PackWord(w, length, left);
        const size_t offset = static_cast<size_t>(lead_bits % 2);  // odd addresses too
        const std::vector<uint8_t> bytes = Containers(data, offset);
        stored += PackUniformWords(state, bytes.data() + offset, data.size(), MakeWordLayout(length, left),
                                   out.data() + stored);

        ASSERT_EQ(packtest::WordsToBytes(Finish(out, stored, state)), ref.Bytes())
            << "length " << length << " left " << left << " lead " << lead_bits;
      }
    }
  }
}

TEST(BitPackerTest, KernelStoresOnlyCompleteWordsAndKeepsTheRest) {
  // Three 12-bit words: 36 bits, two stream words stored, 4 bits kept.
  const uint8_t data[6] = {0xBC, 0x0A, 0xEF, 0x0D, 0x23, 0x01};
  bitstreamstate state;
  uint16_t out[4] = {0, 0, 0, 0};
  size_t stored = PackUniformWords(state, data, 3, MakeWordLayout(12, false), out);
  EXPECT_EQ(stored, 2u);
  EXPECT_EQ(out[0], 0xABCD);
  EXPECT_EQ(out[1], 0xEF12);
  EXPECT_EQ(state.bit_count, 4);
  EXPECT_EQ(PackPadLastWord(state, out + 2), 1u);
  EXPECT_EQ(out[2], 0x3000);
  EXPECT_EQ(state.bit_count, 0);
  EXPECT_EQ(PackPadLastWord(state, out + 3), 0u);
}

TEST(BitPackerTest, LayoutsPlaceJustifiedWords) {
  packwordlayout left12 = MakeWordLayout(12, true);
  EXPECT_EQ(left12.shift, 4);
  EXPECT_EQ(left12.mask, 0x0FFF);
  packwordlayout left16 = MakeWordLayout(16, true);
  EXPECT_EQ(left16.shift, 0);
  EXPECT_EQ(left16.mask, 0xFFFF);
  packwordlayout right5 = MakeWordLayout(5, false);
  EXPECT_EQ(right5.shift, 0);
  EXPECT_EQ(right5.mask, 0x1F);

  // A left-justified 12-bit 0xABC0 contributes 0xABC, a right-justified
  // 12-bit 0xFABC its low 12 bits 0xABC.
  bitstreamstate state;
  uint16_t out[2] = {0, 0};
  EXPECT_EQ(PackSingleWord(state, 0xABC0, left12, out), 0u);
  EXPECT_EQ(PackSingleWord(state, 0xFABC, MakeWordLayout(12, false), out), 1u);
  EXPECT_EQ(out[0], 0xABCA);
  EXPECT_EQ(state.bit_count, 8);
  EXPECT_EQ(PackPadLastWord(state, out + 1), 1u);
  EXPECT_EQ(out[1], 0xBC00);
}

TEST(BitPackerTest, MixedLayoutFramesMatchReference) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    const size_t words_per_frame = 1 + rng() % 40;
    const size_t frames = 1 + rng() % 20;
    arkheaderstruct header{};
    header.WordsPerMinorFrame = static_cast<int32_t>(words_per_frame);
    std::vector<packwordlayout> layout(words_per_frame);
    for (size_t i = 0; i < words_per_frame; ++i) {
      header.WordTable[i].iWdLen = 1 + static_cast<int32_t>(rng() % 16);
      header.WordTable[i].bLeftAlign = static_cast<uint8_t>(rng() % 2);
      layout[i] = MakeWordLayout(header.WordTable[i].iWdLen, header.WordTable[i].bLeftAlign != 0);
    }
    std::vector<uint16_t> data(words_per_frame * frames);
    for (uint16_t& w : data) w = static_cast<uint16_t>(rng());

    ReferencePacker ref;
    for (size_t f = 0; f < frames; ++f) ref.PackFrame(data.data() + f * words_per_frame, header);

    // Packed in two calls, so the unfinished word crosses a call.
    bitstreamstate state;
    std::vector<uint16_t> out(data.size() + 2);
    const size_t first = frames / 2;
    const size_t offset = static_cast<size_t>(trial % 2);  // odd addresses too
    const std::vector<uint8_t> bytes = Containers(data, offset);
    size_t stored =
        PackFramesByLayout(state, bytes.data() + offset, first, layout.data(), words_per_frame, out.data());
    stored += PackFramesByLayout(state, bytes.data() + offset + 2 * first * words_per_frame, frames - first,
                                 layout.data(), words_per_frame, out.data() + stored);
    ASSERT_EQ(packtest::WordsToBytes(Finish(out, stored, state)), ref.Bytes()) << "trial " << trial;
  }
}

}  // namespace

namespace {

// Debug and sanitizer builds stop on a stream state that no kernel can
// leave behind (0 to 15 pending bits between calls); release builds do not
// check it.
TEST(BitPackerDeathTest, PendingBitsOutsideTheirRangeStopDebugBuilds) {
  const uint8_t words[8] = {};
  uint16_t out[8] = {};
  for (int32_t bad : {-1, 16, 40}) {
    SCOPED_TRACE(bad);
    bitstreamstate single{0, bad};
    EXPECT_DEBUG_DEATH(PackSingleWord(single, 1, MakeWordLayout(3, false), out), "PendingBitsValid");
    bitstreamstate run{0, bad};
    EXPECT_DEBUG_DEATH(PackUniformWords(run, words, 4, MakeWordLayout(12, false), out),
                       "PendingBitsValid");
  }
}

}  // namespace
