// Shared pieces of the pack tests: a header record and a block filled by
// hand (no archive file), frame headers written in BCD, a plain bit-by-bit packer that
// serves as the reference for the pack file, and a running error log.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/ark_header.h"
#include "archive/frame_header.h"
#include "mkarchive/archive_generator.h"
#include "common/test_helpers.h"
#include "pack/pack_converter.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace packtest {

// The first frame time of every rig unless a test moves it.
inline constexpr int64_t kBaseMicros = 10672496LL * 1000000;  // day 123, 12:34:56

// Writes a frame time given in whole microseconds of the year as the
// recorder's 10-byte BCD frame header (status word 0): the generator's
// encoder, the one every archive of the tests is written with.
inline void EncodeFrameHeader(int64_t micros, uint8_t* h) { mkarchive::EncodeFrameHeader(micros, 0, h); }

// The time the frame header of EncodeFrameHeader decodes to.
inline double HeaderTime(int64_t micros) {
  uint8_t h[10];
  EncodeFrameHeader(micros, h);
  double t = 0.0;
  int32_t sfid = 0, a = 0, b = 0;
  DecodeFrameHeader(h, t, sfid, a, b);
  return t;
}

// The pack stream built one bit at a time, exactly as the pack file is
// defined: each word's bits most significant first, 16-bit words filled
// from bit 15 down, the last word padded with zero bits.
class ReferencePacker {
 public:
  void PackWord(uint16_t value, int length, bool left) {
    int top = (left && length != 16) ? 15 : length - 1;
    int bottom = (left && length != 16) ? 16 - length : 0;
    for (int bit = top; bit >= bottom; --bit) {
      accumulator_ = static_cast<uint16_t>((accumulator_ << 1) | ((value >> bit) & 1));
      if (++bit_count_ == 16) {
        words_.push_back(accumulator_);
        accumulator_ = 0;
        bit_count_ = 0;
      }
    }
  }
  void PackFrame(const uint16_t* words, const arkheaderstruct& header) {
    for (int i = 0; i < header.WordsPerMinorFrame; ++i) {
      PackWord(words[i], header.WordTable[i].iWdLen, header.WordTable[i].bLeftAlign != 0);
    }
  }
  void PackFillFrame(const arkheaderstruct& header) {
    std::vector<uint16_t> fill(static_cast<size_t>(header.WordsPerMinorFrame), 0xAAAA);
    PackFrame(fill.data(), header);
  }
  // The pack file's bytes: whole words, then the padded last word.
  std::vector<uint8_t> Bytes() const {
    std::vector<uint16_t> all = words_;
    if (bit_count_ > 0) all.push_back(static_cast<uint16_t>(accumulator_ << (16 - bit_count_)));
    std::vector<uint8_t> bytes;
    for (uint16_t w : all) {
      bytes.push_back(static_cast<uint8_t>(w & 0xFF));
      bytes.push_back(static_cast<uint8_t>(w >> 8));
    }
    return bytes;
  }
  const std::vector<uint16_t>& WholeWords() const { return words_; }

 private:
  std::vector<uint16_t> words_;
  uint16_t accumulator_ = 0;
  int bit_count_ = 0;
};

// What a conversion hands the converter from an open archive, made by
// hand: the header record, the run's first frame time and one block's
// serial data, with helpers to place frames in it.
class ArchiveRig {
 public:
  ArchiveRig(int words_per_frame, int frames_per_block, double frame_rate, int word_length = 16,
             bool left = false)
      : header_(std::make_unique<arkheaderstruct>()) {
    arkheaderstruct& h = *header_;
    h.WordsPerMinorFrame = words_per_frame;
    h.FramesPerBlock = frames_per_block;
    h.MinorFrameRate = frame_rate;
    h.FrameHeaderWords = 5;
    h.CommonWordLength = word_length;
    // A span of the whole year: no step is too long to fill unless a test
    // sets the archive's times itself.
    h.StartTime = 0.0;
    h.StopTime = 31708800.0;
    for (int i = 0; i < words_per_frame && i < kWordTableEntries; ++i) {
      h.WordTable[i].iWdNum = i;
      h.WordTable[i].iWdLen = word_length;
      h.WordTable[i].bLeftAlign = left ? 1 : 0;
    }
    size_t stride = static_cast<size_t>(words_per_frame > 0 ? words_per_frame : 0) + 5;
    serial_.assign(stride * 2 * static_cast<size_t>(frames_per_block > 0 ? frames_per_block : 0), 0);
    h.SerialBytesPerBlock = static_cast<int32_t>(serial_.size());
  }

  arkheaderstruct& Header() { return *header_; }
  int Words() const { return header_->WordsPerMinorFrame; }

  // Starts a run of `pack` at the first frame time. Without an archive file
  // there are no whole frames to add to the fill budget.
  bool Prepare(orloarkpackclass& pack, const std::string& path) {
    return pack.SetPackFile(path, first_frame_time, 0);
  }
  // Hands `pack` the block.
  void Feed(orloarkpackclass& pack) { pack.ProcessArkBlock(serial_.data(), serial_.size()); }

  // Frame k of the block: its time and its data words.
  void PutFrame(int k, int64_t micros, const uint16_t* words) {
    uint8_t* frame = serial_.data() + static_cast<size_t>(k) * (Words() + 5) * 2;
    EncodeFrameHeader(micros, frame);
    for (int i = 0; i < Words(); ++i) {
      frame[10 + 2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
      frame[11 + 2 * i] = static_cast<uint8_t>(words[i] >> 8);
    }
  }

  double first_frame_time = kBaseMicros / 1e6;

 private:
  std::unique_ptr<arkheaderstruct> header_;  // about 260 KB: not on the stack
  std::vector<uint8_t> serial_;
};

// A fresh error log in a temporary folder; Lines() ends it and returns its
// text. Restores the current folder afterwards.
class LogCapture {
 public:
  LogCapture() : old_folder_(CurrentFolder()) {
    SetCurrentFolder(dir_.path());
    StartErrorLog(false, "1.00", "OrloVarnel", "", "OrloVarnel");
  }
  ~LogCapture() {
    End();
    SetCurrentFolder(old_folder_);
  }
  std::string Text() {
    End();
    return testutil::ReadAllText(dir_.File("OrloVarnel.Log"));
  }
  int Count(const std::string& part) {
    std::string text = Text();
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

 private:
  void End() {
    if (!ended_) EndErrorLog(false);
    ended_ = true;
  }
  testutil::TempDir dir_;
  std::string old_folder_;
  bool ended_ = false;
};

inline std::vector<uint8_t> WordsToBytes(const std::vector<uint16_t>& words) {
  std::vector<uint8_t> bytes;
  for (uint16_t w : words) {
    bytes.push_back(static_cast<uint8_t>(w & 0xFF));
    bytes.push_back(static_cast<uint8_t>(w >> 8));
  }
  return bytes;
}

}  // namespace packtest
