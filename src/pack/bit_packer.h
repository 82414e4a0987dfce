// Bit packing kernels for the pack file: words of 1 to 16 bits, each taken
// from its 16-bit container, appended most significant bit first to one
// continuous stream of 16-bit words (the first stream bit is bit 15 of the
// first word).
//
// The kernels work on whole runs of words with a 64-bit accumulator and emit
// two stream words per store, so a group of frames is packed without a loop
// per bit. Every kernel stores only complete 16-bit words; the bits of an
// unfinished word stay in the accumulator (0 to 15 of them between calls).
//
// The input words are 16-bit containers as the archive stores them: little
// endian, read from bytes at any alignment, so frames are packed where they
// lie in a frame block.
#pragma once

#include <cstddef>
#include <cstdint>

// Where one word of the minor frame sits in its 16-bit container.
struct packwordlayout {
  uint8_t shift;    // right shift that brings the word to the bottom
  uint8_t length;   // bits, 1 to 16
  uint16_t mask;    // (1 << length) - 1
};

// The unfinished stream word: the newest `bit_count` bits of `accumulator`.
struct bitstreamstate {
  uint64_t accumulator = 0;
  int32_t bit_count = 0;   // 0 to 15 between calls

  // Equal states store the same words for the same input from here on.
  bool operator==(const bitstreamstate&) const = default;
};

// Layout of a word of `length` bits (1 to 16) with the given justification:
// a left-justified word shorter than 16 bits sits at the top of its container.
packwordlayout MakeWordLayout(int32_t length, bool left_justified);

// Packs `count` words (2 x count bytes) that all share one layout. Returns the stream words
// stored at `out`, which must have room for (bit_count + count x length) / 16.
size_t PackUniformWords(bitstreamstate& state, const uint8_t* words, size_t count,
                        packwordlayout layout, uint16_t* out);

// Packs `frames` frames of `words_per_frame` words, word i of every frame
// with layout[i]. Returns the stream words stored at `out`.
size_t PackFramesByLayout(bitstreamstate& state, const uint8_t* words, size_t frames,
                          const packwordlayout* layout, size_t words_per_frame, uint16_t* out);

// Packs one word. Returns the stream words stored (0 or 1).
size_t PackSingleWord(bitstreamstate& state, uint16_t value, packwordlayout layout, uint16_t* out);

// Stores the unfinished word padded with zero bits, if there is one.
// Returns the stream words stored (0 or 1); the state is empty afterwards.
size_t PackPadLastWord(bitstreamstate& state, uint16_t* out);
