#include "pack/bit_packer.h"

#include <bit>
#include <cassert>
#include <cstring>

#include "archive/decom_setup_record.h"

// The containers are read as host 16-bit values and the stream words are
// stored the same way: both are little-endian.
static_assert(std::endian::native == std::endian::little, "16-bit containers are little-endian");

namespace {

// Between calls the accumulator holds an unfinished stream word only.
inline bool PendingBitsValid(const bitstreamstate& state) {
  return state.bit_count >= 0 && state.bit_count <= 15;
}

// Container i of a run of little-endian 16-bit containers.
inline uint32_t Container(const uint8_t* words, size_t i) {
  uint16_t value;
  std::memcpy(&value, words + 2 * i, sizeof value);
  return value;
}

// Two finished stream words: the older 16 bits first.
inline void StoreWordPair(uint16_t* out, uint32_t pair) {
  out[0] = static_cast<uint16_t>(pair >> 16);
  out[1] = static_cast<uint16_t>(pair);
}

// The accumulator keeps fewer than 32 pending bits between words, so after
// adding at most 16 it never holds more than 47 that matter; bits above the
// pending ones are already stored and simply fall off the top later.
inline void AppendBits(uint64_t& acc, uint32_t& bits, uint32_t value, uint32_t length,
                       uint16_t*& out) {
  acc = (acc << length) | value;
  bits += length;
  if (bits >= 32) {
    bits -= 32;
    StoreWordPair(out, static_cast<uint32_t>(acc >> bits));
    out += 2;
  }
}

inline void StoreWholeWord(uint64_t acc, uint32_t& bits, uint16_t*& out) {
  if (bits >= 16) {
    bits -= 16;
    *out++ = static_cast<uint16_t>(acc >> bits);
  }
}

// One length known at compile time lets the compiler fold the shifts and
// unroll the loop; the justification shift stays a run-time value.
template <uint32_t N>
size_t PackFixedLength(bitstreamstate& state, const uint8_t* words, size_t count,
                       uint32_t shift, uint16_t* out) {
  constexpr uint32_t mask = (N == 16) ? 0xFFFFu : ((1u << N) - 1u);
  assert(PendingBitsValid(state));
  uint64_t acc = state.accumulator;
  uint32_t bits = static_cast<uint32_t>(state.bit_count);
  uint16_t* o = out;
  size_t i = 0;
  if constexpr (N < 16 && 48 % N == 0) {
    // 48 / N words make exactly three stream words, so with fewer than 16
    // bits pending the pending count never changes and no test is needed.
    constexpr size_t kChunk = 48 / N;
    for (; i + kChunk <= count; i += kChunk) {
      uint64_t chunk = 0;
      for (size_t j = 0; j < kChunk; ++j) chunk = (chunk << N) | ((Container(words, i + j) >> shift) & mask);
      acc = (acc << 48) | chunk;
      const uint64_t ready = acc >> bits;
      o[0] = static_cast<uint16_t>(ready >> 32);
      o[1] = static_cast<uint16_t>(ready >> 16);
      o[2] = static_cast<uint16_t>(ready);
      o += 3;
    }
  }
  for (; i < count; ++i) {
    AppendBits(acc, bits, (Container(words, i) >> shift) & mask, N, o);
  }
  StoreWholeWord(acc, bits, o);
  state.accumulator = acc;
  state.bit_count = static_cast<int32_t>(bits);
  assert(PendingBitsValid(state));
  return static_cast<size_t>(o - out);
}

using fixedlengthkernel = size_t (*)(bitstreamstate&, const uint8_t*, size_t, uint32_t, uint16_t*);

constexpr fixedlengthkernel kFixedLengthKernels[17] = {
    nullptr,             PackFixedLength<1>,  PackFixedLength<2>,  PackFixedLength<3>,
    PackFixedLength<4>,  PackFixedLength<5>,  PackFixedLength<6>,  PackFixedLength<7>,
    PackFixedLength<8>,  PackFixedLength<9>,  PackFixedLength<10>, PackFixedLength<11>,
    PackFixedLength<12>, PackFixedLength<13>, PackFixedLength<14>, PackFixedLength<15>,
    PackFixedLength<16>,
};

}  // namespace

packwordlayout MakeWordLayout(int32_t length, bool left_justified) {
  if (length < 1) length = 1;
  if (length > 16) length = 16;
  packwordlayout layout;
  layout.length = static_cast<uint8_t>(length);
  layout.shift = static_cast<uint8_t>(left_justified && length != 16 ? 16 - length : 0);
  layout.mask = static_cast<uint16_t>(length == 16 ? 0xFFFFu : ((1u << length) - 1u));
  return layout;
}

size_t PackUniformWords(bitstreamstate& state, const uint8_t* words, size_t count,
                        packwordlayout layout, uint16_t* out) {
  if (count == 0) return 0;
  // Whole 16-bit words on a word boundary are the stream words themselves.
  if (layout.length == 16 && state.bit_count == 0) {
    std::memcpy(out, words, count * sizeof(uint16_t));
    return count;
  }
  uint32_t length = layout.length;
  if (!IsPackableWordLength(static_cast<int32_t>(length))) return 0;
  return kFixedLengthKernels[length](state, words, count, layout.shift, out);
}

size_t PackFramesByLayout(bitstreamstate& state, const uint8_t* words, size_t frames,
                          const packwordlayout* layout, size_t words_per_frame, uint16_t* out) {
  assert(PendingBitsValid(state));
  uint64_t acc = state.accumulator;
  uint32_t bits = static_cast<uint32_t>(state.bit_count);
  uint16_t* o = out;
  for (size_t f = 0; f < frames; ++f) {
    const uint8_t* frame = words + 2 * f * words_per_frame;
    for (size_t i = 0; i < words_per_frame; ++i) {
      const packwordlayout w = layout[i];
      assert(IsPackableWordLength(static_cast<int32_t>(w.length)));
      AppendBits(acc, bits, (Container(frame, i) >> w.shift) & w.mask, w.length, o);
    }
  }
  StoreWholeWord(acc, bits, o);
  state.accumulator = acc;
  state.bit_count = static_cast<int32_t>(bits);
  assert(PendingBitsValid(state));
  return static_cast<size_t>(o - out);
}

size_t PackSingleWord(bitstreamstate& state, uint16_t value, packwordlayout layout, uint16_t* out) {
  assert(PendingBitsValid(state) && IsPackableWordLength(static_cast<int32_t>(layout.length)));
  uint64_t acc = state.accumulator;
  uint32_t bits = static_cast<uint32_t>(state.bit_count);
  uint16_t* o = out;
  acc = (acc << layout.length) | ((static_cast<uint32_t>(value) >> layout.shift) & layout.mask);
  bits += layout.length;
  StoreWholeWord(acc, bits, o);
  state.accumulator = acc;
  state.bit_count = static_cast<int32_t>(bits);
  assert(PendingBitsValid(state));
  return static_cast<size_t>(o - out);
}

size_t PackPadLastWord(bitstreamstate& state, uint16_t* out) {
  assert(PendingBitsValid(state));
  size_t stored = 0;
  if (state.bit_count > 0) {
    out[0] = static_cast<uint16_t>(state.accumulator << (16 - state.bit_count));
    stored = 1;
  }
  state.accumulator = 0;
  state.bit_count = 0;
  return stored;
}
