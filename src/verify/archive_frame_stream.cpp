// The expected PCM stream, made bit by bit from the archive's frames.
#include "verify/archive_frame_stream.h"

#include <algorithm>
#include <cstring>

#include "archive/archive_reader.h"
#include "archive/frame_header.h"
#include "verify/fill_frame_rule.h"

namespace {
constexpr size_t kFrameHeaderBytes = 10;
constexpr uint16_t kFillWord = 0xAAAA;
}  // namespace

archiveframestreamclass::archiveframestreamclass(orloarkclass& archive) : archive_(archive) {
  const arkheaderstruct& h = archive_.Header();
  words_per_frame_ = std::clamp<int32_t>(h.WordsPerMinorFrame, 0, kWordTableEntries);
  for (int32_t w = 0; w < words_per_frame_; ++w) {
    // The word table is a packed record: its fields are read by value.
    const int32_t length = h.WordTable[w].iWdLen;
    lengths_.push_back(std::clamp<int32_t>(length, 0, 16));
    left_justified_.push_back(h.WordTable[w].bLeftAlign != 0);
    bits_per_frame_ += lengths_.back();
  }
  period_ = h.MinorFrameRate > 0.0 ? 1.0 / h.MinorFrameRate : 0.0;
  pending_.reserve(static_cast<size_t>(bits_per_frame_ / 8 + 4));
}

int64_t archiveframestreamclass::FrameAtByte(int64_t byte_offset) const {
  return bits_per_frame_ > 0 ? byte_offset * 8 / bits_per_frame_ : 0;
}

size_t archiveframestreamclass::Read(uint8_t* into, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (pending_pos_ == pending_.size()) {
      pending_.clear();
      pending_pos_ = 0;
      if (!MakeNextFrame()) break;
      continue;
    }
    const size_t k = std::min(n - done, pending_.size() - pending_pos_);
    std::memcpy(into + done, pending_.data() + pending_pos_, k);
    pending_pos_ += k;
    done += k;
  }
  return done;
}

bool archiveframestreamclass::MakeNextFrame() {
  if (ended_) return false;
  if (fill_waiting_ > 0) {
    --fill_waiting_;
    PackFrame(nullptr);
    return true;
  }
  const size_t stride = static_cast<size_t>(words_per_frame_ + 5) * 2;
  while (next_in_block_ >= frames_in_block_) {
    archive_.ReadNextBlock();
    if (archive_.EndOfData) {
      FinishStream();
      return !pending_.empty();
    }
    // Only frames that lie wholly inside the serial buffer count.
    frames_in_block_ = std::min(static_cast<size_t>(std::max(archive_.Header().FramesPerBlock, 0)),
                                archive_.SerialBuffer.size() / stride);
    next_in_block_ = 0;
  }
  const uint8_t* frame = archive_.SerialBuffer.data() + next_in_block_ * stride;
  if (!time_checked_) {
    double time = 0.0;
    int32_t sfid = 0, state_a = 0, state_b = 0;
    DecodeFrameHeader(frame, time, sfid, state_a, state_b);
    // The first frame opens no gap.
    const int64_t fill = first_frame_ ? 0 : FillFramesBefore(previous_time_, time, period_);
    previous_time_ = time;
    first_frame_ = false;
    time_checked_ = true;
    if (fill > 0) {
      // The archive frame follows its fill frames; a later call comes back to it.
      fill_waiting_ = fill - 1;
      PackFrame(nullptr);
      return true;
    }
  }
  PackFrame(frame + kFrameHeaderBytes);
  ++next_in_block_;
  time_checked_ = false;
  return true;
}

void archiveframestreamclass::PackFrame(const uint8_t* words) {
  for (int32_t w = 0; w < words_per_frame_; ++w) {
    const unsigned value =
        words != nullptr ? static_cast<unsigned>(words[2 * w] | (words[2 * w + 1] << 8)) : kFillWord;
    const int n = lengths_[static_cast<size_t>(w)];
    // A left-justified word shorter than its container sits in the top bits.
    const int low = left_justified_[static_cast<size_t>(w)] && n != 16 ? 16 - n : 0;
    for (int bit = low + n - 1; bit >= low; --bit) PutBit((value >> bit) & 1u);
  }
  if (words != nullptr) {
    ++archive_frames_;
  } else {
    ++fill_frames_;
  }
}

void archiveframestreamclass::PutBit(unsigned bit) {
  word_ = static_cast<uint16_t>((word_ << 1) | bit);
  if (++bits_in_word_ == 16) {
    pending_.push_back(static_cast<uint8_t>(word_ & 0xFF));
    pending_.push_back(static_cast<uint8_t>(word_ >> 8));
    word_ = 0;
    bits_in_word_ = 0;
  }
}

void archiveframestreamclass::FinishStream() {
  // The last stream word is padded with zero bits.
  while (bits_in_word_ != 0) PutBit(0);
  ended_ = true;
}
