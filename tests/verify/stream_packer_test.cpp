// The self-check's fast packer against its bit-by-bit oracle: on generated
// word tables (every length from 1 to 16 alone, left and right justified,
// odd and even frame sizes, runs of 16-bit words among others, and random
// mixed tables with words of length 0) and frames of random containers with fill frames between
// them, the two must make the same stream byte for byte.
#include "verify/stream_packer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct PackCase {
  std::string name;
  std::vector<streamwordstruct> words;
};

uint64_t NextRandom(uint64_t& state) {
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return state >> 33;
}

std::vector<PackCase> Cases() {
  std::vector<PackCase> cases;
  for (int32_t length = 1; length <= 16; ++length) {
    for (bool left : {false, true}) {
      for (size_t words : {1, 3, 4, 7, 64, 255}) {
        cases.push_back({std::to_string(words) + " words of " + std::to_string(length) +
                             (left ? " bits, left" : " bits, right"),
                         std::vector<streamwordstruct>(words, StreamWord(length, left))});
      }
    }
  }
  // Runs of 16-bit words among others: chunks of a whole 64 bits.
  cases.push_back({"eight 16-bit words and a 12-bit one", {8, StreamWord(16, false)}});
  cases.back().words.push_back(StreamWord(12, true));
  cases.push_back({"four 16-bit words and an empty one", {4, StreamWord(16, true)}});
  cases.back().words.push_back(StreamWord(0, false));
  uint64_t state = 19;
  for (int k = 0; k < 60; ++k) {
    PackCase c{"mixed table " + std::to_string(k), {}};
    const size_t words = 1 + NextRandom(state) % 301;
    for (size_t w = 0; w < words; ++w) {
      c.words.push_back(
          StreamWord(static_cast<int32_t>(NextRandom(state) % 17), NextRandom(state) % 2 == 1));
    }
    cases.push_back(c);
  }
  return cases;
}

// The whole stream of `frames` (an empty frame is a fill frame), packed
// with either packer into buffers of just the room it asks for.
template <typename Packer>
std::vector<uint8_t> Stream(Packer& packer, const std::vector<std::vector<uint8_t>>& frames,
                            size_t room) {
  std::vector<uint8_t> stream;
  for (const std::vector<uint8_t>& frame : frames) {
    std::vector<uint8_t> out(room);
    const size_t n = packer.PackFrame(frame.empty() ? nullptr : frame.data(), out.data());
    EXPECT_LE(n, room);
    stream.insert(stream.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
  }
  std::vector<uint8_t> out(room + 8);
  const size_t n = packer.Finish(out.data());
  stream.insert(stream.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
  return stream;
}

TEST(StreamPacker, LanesMakeTheBitByBitStream) {
  uint64_t state = 7;
  for (const PackCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    int64_t bits_per_frame = 0;
    for (const streamwordstruct& w : c.words) bits_per_frame += w.count;
    // An odd number of frames, every fifth one or so a fill frame, the
    // containers' unused bits set at random as well.
    std::vector<std::vector<uint8_t>> frames(37);
    for (std::vector<uint8_t>& frame : frames) {
      if (NextRandom(state) % 5 == 0) continue;
      frame.resize(2 * c.words.size());
      for (uint8_t& byte : frame) byte = static_cast<uint8_t>(NextRandom(state));
    }
    lanepackerclass fast(c.words);
    bitpackerclass oracle(c.words);
    ASSERT_EQ(fast.BitsPerFrame(), bits_per_frame);
    const std::vector<uint8_t> want = Stream(oracle, frames, fast.FrameBytesBound());
    const std::vector<uint8_t> got = Stream(fast, frames, fast.FrameBytesBound());
    const size_t total_bits = static_cast<size_t>(bits_per_frame) * frames.size();
    ASSERT_EQ(want.size(), (total_bits + 15) / 16 * 2);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(got[i], want[i]) << "stream byte " << i << " of " << want.size();
    }
  }
}

}  // namespace
