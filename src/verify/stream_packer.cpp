// The self-check's two packers of the expected PCM stream.
#include "verify/stream_packer.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "archive/ark_header.h"

namespace {

// An accumulated lane holds the stream's four 16-bit words first to last
// from its top; stored, each word goes out little-endian in that order.
inline void StoreLane(uint64_t lane, uint8_t* out) {
  const uint64_t halves = (lane << 32) | (lane >> 32);
  const uint64_t words =
      ((halves >> 16) & 0x0000FFFF0000FFFFull) | ((halves & 0x0000FFFF0000FFFFull) << 16);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &words, 8);
  } else {
    for (int k = 0; k < 8; ++k) out[k] = static_cast<uint8_t>(words >> (8 * k));
  }
}

inline void StoreWord(uint16_t word, uint8_t* out) {
  out[0] = static_cast<uint8_t>(word & 0xFF);
  out[1] = static_cast<uint8_t>(word >> 8);
}

}  // namespace

streamwordstruct StreamWord(int32_t length, bool left_justified) {
  streamwordstruct word;
  word.count = std::clamp<int32_t>(length, 0, 16);
  word.low = left_justified && word.count != 16 ? 16 - word.count : 0;
  return word;
}

std::vector<streamwordstruct> StreamWordsOf(const arkheaderstruct& header) {
  const int32_t words = std::clamp<int32_t>(header.WordsPerMinorFrame, 0, kWordTableEntries);
  std::vector<streamwordstruct> layout;
  layout.reserve(static_cast<size_t>(words));
  for (int32_t w = 0; w < words; ++w) {
    // The word table is a packed record: its fields are read by value.
    const int32_t length = header.WordTable[w].iWdLen;
    const bool left = header.WordTable[w].bLeftAlign != 0;
    layout.push_back(StreamWord(length, left));
  }
  return layout;
}

lanepackerclass::lanepackerclass(const std::vector<streamwordstruct>& words) {
  whole_quads_ = words.size() / 4;
  tail_words_ = words.size() % 4;
  quads_.resize((words.size() + 3) / 4);
  for (size_t w = 0; w < words.size(); ++w) {
    const streamwordstruct& word = words[w];
    bits_per_frame_ += word.count;
    if (word.count == 0) continue;
    quadstruct& quad = quads_[w / 4];
    const size_t k = w % 4;
    // Bit low + count - 1 of the container goes to bit 63; the bits below
    // the word's are masked off.
    quad.shift[k] = static_cast<uint8_t>(64 - word.low - word.count);
    quad.mask[k] = ~uint64_t{0} << (64 - word.count);
    quad.width[k] = static_cast<uint8_t>(word.count);
    quad.count = static_cast<uint8_t>(quad.count + word.count);
    if (k <= 1) quad.count01 = static_cast<uint8_t>(quad.count01 + word.count);
  }
  for (quadstruct& quad : quads_) {
    uint64_t bits[4];
    for (size_t k = 0; k < 4; ++k)
      bits[k] = (uint64_t{kStreamFillWord} << quad.shift[k]) & quad.mask[k];
    quad.fill = (bits[0] | (bits[1] >> quad.width[0])) |
                ((bits[2] | (bits[3] >> quad.width[2])) >> quad.count01);
  }
  whole_words_ =
      !words.empty() && std::all_of(words.begin(), words.end(),
                                    [](const streamwordstruct& w) { return w.count == 16; });
  if (whole_words_) {
    fill_frame_.resize(2 * words.size());
    for (size_t i = 0; i < fill_frame_.size(); i += 2)
      StoreWord(kStreamFillWord, fill_frame_.data() + i);
  }
}

size_t lanepackerclass::CopyWholeWords(const uint8_t* containers, uint8_t* out) {
  // Only whole words are ever held: they go first, then the frame's
  // containers, and the words after the last whole lane are held again.
  size_t bytes = 0;
  for (unsigned at = 0; at < held_; at += 16) {
    StoreWord(static_cast<uint16_t>(lane_ >> (48 - at)), out + bytes);
    bytes += 2;
  }
  std::memcpy(out + bytes, containers != nullptr ? containers : fill_frame_.data(),
              fill_frame_.size());
  bytes += fill_frame_.size();
  const size_t tail = bytes % 8;
  bytes -= tail;
  lane_ = 0;
  held_ = static_cast<unsigned>(tail * 8);
  for (size_t k = 0; k < tail; k += 2) {
    const uint64_t word = static_cast<uint64_t>(out[bytes + k] | (out[bytes + k + 1] << 8));
    lane_ |= word << (48 - 8 * k);
  }
  return bytes;
}

namespace {

// Adds a chunk of `count` (at most 64) bits, placed at the top of `bits`,
// behind the `held` bits of `lane`; a lane made full is stored at `out`,
// which moves on. Works on the caller's copies, which stay in registers.
inline void Append(uint64_t bits, unsigned count, uint64_t& lane, unsigned& held, uint8_t*& out) {
  lane |= bits >> held;
  const unsigned total = held + count;
  if (total >= 64) {
    StoreLane(lane, out);
    out += 8;
    // What did not fit starts the next lane (nothing when all of it did:
    // the shift by 64 - held is made in two steps for held = 0).
    lane = (bits << (63 - held)) << 1;
    held = total - 64;
  } else {
    held = total;
  }
}

}  // namespace

template <bool kFill>
size_t lanepackerclass::Pack(const uint8_t* containers, uint8_t* out) {
  uint8_t* const start = out;
  uint64_t lane = lane_;
  unsigned held = held_;
  const auto word = [](const uint8_t* at, const quadstruct& quad, size_t k) {
    const uint64_t container = static_cast<uint64_t>(at[2 * k] | (at[2 * k + 1] << 8));
    return (container << quad.shift[k]) & quad.mask[k];
  };
  for (size_t q = 0; q < whole_quads_; ++q) {
    const quadstruct& quad = quads_[q];
    uint64_t chunk;
    if constexpr (kFill) {
      chunk = quad.fill;
    } else {
      const uint8_t* at = containers + 8 * q;
      const uint64_t first = word(at, quad, 0) | (word(at, quad, 1) >> quad.width[0]);
      const uint64_t second = word(at, quad, 2) | (word(at, quad, 3) >> quad.width[2]);
      chunk = first | (second >> quad.count01);
    }
    Append(chunk, quad.count, lane, held, out);
  }
  if (tail_words_ > 0) {
    // The last words of the frame, fewer than four: the containers after
    // them are not the frame's and are not read.
    const quadstruct& quad = quads_[whole_quads_];
    uint64_t chunk = quad.fill;
    if constexpr (!kFill) {
      const uint8_t* at = containers + 8 * whole_quads_;
      chunk = 0;
      unsigned placed = 0;
      for (size_t k = 0; k < tail_words_; ++k) {
        chunk |= word(at, quad, k) >> placed;
        placed += quad.width[k];
      }
    }
    Append(chunk, quad.count, lane, held, out);
  }
  lane_ = lane;
  held_ = held;
  return static_cast<size_t>(out - start);
}

size_t lanepackerclass::PackFrame(const uint8_t* containers, uint8_t* out) {
  if (whole_words_) return CopyWholeWords(containers, out);
  return containers != nullptr ? Pack<false>(containers, out) : Pack<true>(nullptr, out);
}

size_t lanepackerclass::Finish(uint8_t* out) {
  size_t bytes = 0;
  for (unsigned at = 0; at < held_; at += 16) {
    StoreWord(static_cast<uint16_t>(lane_ >> (48 - at)), out + bytes);
    bytes += 2;
  }
  lane_ = 0;
  held_ = 0;
  return bytes;
}

size_t bitpackerclass::PackFrame(const uint8_t* containers, uint8_t* out) {
  size_t bytes = 0;
  for (size_t w = 0; w < words_.size(); ++w) {
    const unsigned value =
        containers != nullptr
            ? static_cast<unsigned>(containers[2 * w] | (containers[2 * w + 1] << 8))
            : kStreamFillWord;
    const streamwordstruct& word = words_[w];
    for (int bit = word.low + word.count - 1; bit >= word.low; --bit) {
      bits_ = (bits_ << 1) | ((value >> bit) & 1u);
      ++bit_count_;
    }
    bytes += EmitWholeWords(out + bytes);
  }
  return bytes;
}

size_t bitpackerclass::EmitWholeWords(uint8_t* out) {
  size_t bytes = 0;
  while (bit_count_ >= 16) {
    bit_count_ -= 16;
    StoreWord(static_cast<uint16_t>(bits_ >> bit_count_), out + bytes);
    bytes += 2;
  }
  bits_ &= (uint64_t{1} << bit_count_) - 1;
  return bytes;
}

size_t bitpackerclass::Finish(uint8_t* out) {
  if (bit_count_ == 0) return 0;
  // The last stream word is padded with zero bits.
  bits_ <<= 16 - bit_count_;
  bit_count_ = 16;
  return EmitWholeWords(out);
}
