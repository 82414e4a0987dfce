// The expected PCM stream of the self-check, made frame by frame: every word
// of a minor frame cut from its 16-bit container and appended to one stream,
// most significant bit first; the stream is stored as little-endian 16-bit
// words whose first bit is bit 15. A fill frame is a frame of 0xAAAA words.
//
// Two packers make the same bytes. lanepackerclass is the one the check
// runs: each word cut from its container by a shift and a mask worked out
// once per word of the frame, four words at a time joined into one chunk of
// up to 64 bits, the chunks fed to a 64-bit accumulator and written out in
// whole 8-byte lanes; a frame of 16-bit words only is its containers as
// they stand, and is copied. bitpackerclass moves one bit at a time and is kept as the plain
// statement of the rule, against which the tests hold the fast one. Neither
// shares code with the converter's packing kernels, so a fault there shows
// up as a difference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct arkheaderstruct;

inline constexpr uint16_t kStreamFillWord = 0xAAAA;

// Where one word of the minor frame sits in its 16-bit container: `count`
// bits (0 to 16), from bit low + count - 1 down to bit low.
struct streamwordstruct {
  int low = 0;
  int count = 0;
};

// A word of `length` bits: lengths outside 0 to 16 are taken as the nearest
// of the two; a left-justified word shorter than its container sits in its
// top bits.
streamwordstruct StreamWord(int32_t length, bool left_justified);
// The words of the archive's minor frame, from its word table.
std::vector<streamwordstruct> StreamWordsOf(const arkheaderstruct& header);

class lanepackerclass {
 public:
  explicit lanepackerclass(const std::vector<streamwordstruct>& words);

  int64_t BitsPerFrame() const { return bits_per_frame_; }
  // The room one PackFrame call needs at `out`.
  size_t FrameBytesBound() const { return static_cast<size_t>(bits_per_frame_ / 64 + 2) * 8; }
  // Appends one frame: its words_per_frame 16-bit little-endian containers
  // at `containers` (any alignment), or a fill frame when nullptr. Returns
  // the bytes of the whole 8-byte lanes it made at `out`; the bits of an
  // unfinished lane wait for the next frame (the bytes after the lanes are
  // its scratch).
  size_t PackFrame(const uint8_t* containers, uint8_t* out);
  // Ends the stream: the bits still held, as whole 16-bit words, the last
  // padded with zero bits (0 to 8 bytes at `out`).
  size_t Finish(uint8_t* out);

 private:
  // Four consecutive words of the frame: word k's container shifted left by
  // shift[k] and masked by mask[k] gives its bits at the top of a 64-bit
  // value (a word of length 0 gives none); the four join behind each other
  // into one chunk of `count` bits.
  struct quadstruct {
    uint64_t mask[4] = {};
    uint64_t fill = 0;  // a fill frame's chunk
    uint8_t shift[4] = {};
    uint8_t width[4] = {};  // bits of each word
    uint8_t count01 = 0;    // bits of words 0 and 1
    uint8_t count = 0;      // bits of all four
  };
  template <bool kFill>
  size_t Pack(const uint8_t* containers, uint8_t* out);
  size_t CopyWholeWords(const uint8_t* containers, uint8_t* out);

  // The frame's words in fours; the last words_per_frame % 4 (`tail_words_`)
  // in a quad of their own.
  std::vector<quadstruct> quads_;
  size_t whole_quads_ = 0;
  size_t tail_words_ = 0;
  bool whole_words_ = false;         // every word takes its whole container
  std::vector<uint8_t> fill_frame_;  // a fill frame's containers
  int64_t bits_per_frame_ = 0;
  uint64_t lane_ = 0;  // the unfinished lane, its first bit at bit 63
  unsigned held_ = 0;  // bits in it, 0 to 63
};

// The same stream one bit at a time. PackFrame writes whole 16-bit words.
class bitpackerclass {
 public:
  explicit bitpackerclass(const std::vector<streamwordstruct>& words) : words_(words) {}

  size_t PackFrame(const uint8_t* containers, uint8_t* out);
  size_t Finish(uint8_t* out);

 private:
  size_t EmitWholeWords(uint8_t* out);

  std::vector<streamwordstruct> words_;
  uint64_t bits_ = 0;  // stream bits not yet in whole words, the latest lowest
  int bit_count_ = 0;  // 0 to 63
};
