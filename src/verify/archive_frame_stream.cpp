// The expected PCM stream, made bit by bit from the archive's frames.
#include "verify/archive_frame_stream.h"

#include <algorithm>
#include <cstring>

#include "archive/archive_reader.h"
#include "archive/frame_header.h"
#include "pack/frame_time_check.h"

namespace {
constexpr uint16_t kFillWord = 0xAAAA;
}  // namespace

archiveframestreamclass::archiveframestreamclass(orloarkclass& archive) : archive_(archive) {
  const arkheaderstruct& h = archive_.Header();
  words_per_frame_ = std::clamp<int32_t>(h.WordsPerMinorFrame, 0, kWordTableEntries);
  for (int32_t w = 0; w < words_per_frame_; ++w) {
    // The word table is a packed record: its fields are read by value.
    const int32_t length = h.WordTable[w].iWdLen;
    const bool left = h.WordTable[w].bLeftAlign != 0;
    wordbitsstruct bits;
    bits.count = std::clamp<int32_t>(length, 0, 16);
    // A left-justified word shorter than its container sits in the top bits.
    bits.low = left && bits.count != 16 ? 16 - bits.count : 0;
    word_bits_.push_back(bits);
    bits_per_frame_ += bits.count;
  }
  period_ = h.MinorFrameRate > 0.0 ? 1.0 / h.MinorFrameRate : 0.0;
  block_duration_ = std::max(h.FramesPerBlock, 0) * period_;
  span_limit_ = FillSpanLimit(h.StartTime, h.StopTime, block_duration_);
  fill_budget_ = FillBudget(FrameBudget(span_limit_, period_), archive_.WholeFrameCount());
  current_.words.resize(static_cast<size_t>(words_per_frame_) * 2);
  next_.words.resize(static_cast<size_t>(words_per_frame_) * 2);
  // One frame's bytes and the words still in the accumulator.
  pending_.resize(static_cast<size_t>(bits_per_frame_ / 8 + 16));
}

int64_t archiveframestreamclass::FrameAtByte(int64_t byte_offset) const {
  return bits_per_frame_ > 0 ? byte_offset * 8 / bits_per_frame_ : 0;
}

size_t archiveframestreamclass::Read(uint8_t* into, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (pending_pos_ == pending_len_) {
      pending_len_ = pending_pos_ = 0;
      if (!MakeNextFrame()) break;
      continue;
    }
    const size_t k = std::min(n - done, pending_len_ - pending_pos_);
    std::memcpy(into + done, pending_.data() + pending_pos_, k);
    pending_pos_ += k;
    done += k;
  }
  return done;
}

bool archiveframestreamclass::FetchFrame(heldframestruct& frame) {
  const size_t stride = FrameStrideBytes(words_per_frame_);
  while (next_in_block_ >= frames_in_block_) {
    archive_.ReadNextBlock();
    if (archive_.EndOfData) return false;
    // Only frames that lie wholly inside the serial buffer count.
    frames_in_block_ =
        WholeFramesInBlock(archive_.Header().FramesPerBlock, archive_.SerialBuffer.size(), stride);
    next_in_block_ = 0;
    if (++blocks_read_ == 1) {
      for (size_t k = 0; k < 3 && k < frames_in_block_; ++k) {
        double time = 0.0;
        int32_t sfid = 0, state_a = 0, state_b = 0;
        DecodeFrameHeader(archive_.SerialData() + k * stride, time, sfid, state_a, state_b);
        first_block_times_[k] = time;
      }
    }
  }
  const uint8_t* at = archive_.SerialData() + next_in_block_ * stride;
  int32_t sfid = 0, state_a = 0, state_b = 0;
  DecodeFrameHeader(at, frame.time, sfid, state_a, state_b);
  std::memcpy(frame.words.data(), at + kFrameHeaderBytes, frame.words.size());
  ++next_in_block_;
  return true;
}

bool archiveframestreamclass::MakeNextFrame() {
  if (ended_) return false;
  if (fill_waiting_ > 0) {
    --fill_waiting_;
    PackFrame(nullptr);
    return true;
  }
  if (current_waiting_) {
    current_waiting_ = false;
    PackFrame(current_.words.data());
    return true;
  }
  if (!started_) {
    started_ = true;
    have_next_ = FetchFrame(next_);
    if (have_next_) {
      const double stop = archive_.Header().StopTime;
      reference_ = FirstFrameReference(next_.time, first_block_times_[1], first_block_times_[2], period_,
                                       stop, block_duration_);
      // A damaged first stamp: the span is measured from where it belongs.
      if (reference_ != next_.time - period_) {
        span_limit_ = FillSpanLimit(reference_ + period_, stop, block_duration_);
        fill_budget_ = FillBudget(FrameBudget(span_limit_, period_), archive_.WholeFrameCount());
      }
    }
  }
  if (!have_next_) {
    FinishStream();
    return pending_len_ != 0;
  }
  std::swap(current_, next_);
  have_next_ = FetchFrame(next_);
  // Every fill frame before this frame is out already.
  const frametimedecision decision =
      JudgeFrameTime(reference_, current_.time,
                     have_next_ ? std::optional<double>(next_.time) : std::nullopt, period_, span_limit_,
                     fill_budget_ - fill_frames_);
  reference_ = decision.reference;
  if (decision.fill_frames > 0) {
    // The archive frame follows its fill frames; later calls come back to it.
    fill_waiting_ = decision.fill_frames - 1;
    current_waiting_ = true;
    PackFrame(nullptr);
    return true;
  }
  PackFrame(current_.words.data());
  return true;
}

void archiveframestreamclass::PackFrame(const uint8_t* words) {
  for (int32_t w = 0; w < words_per_frame_; ++w) {
    const unsigned value =
        words != nullptr ? static_cast<unsigned>(words[2 * w] | (words[2 * w + 1] << 8)) : kFillWord;
    const wordbitsstruct& layout = word_bits_[static_cast<size_t>(w)];
    // The word's bits one at a time, most significant first, gathered on
    // their own so that consecutive words do not wait for each other; then
    // the word joins the stream behind the bits before it.
    uint32_t field = 0;
    if (layout.count == 16) {
      // A word that fills its container: the same loop with a fixed count,
      // which the compiler lays out without a branch per bit.
      for (int bit = 15; bit >= 0; --bit) field = (field << 1) | ((value >> bit) & 1u);
    } else {
      for (int bit = layout.low + layout.count - 1; bit >= layout.low; --bit) {
        field = (field << 1) | ((value >> bit) & 1u);
      }
    }
    bits_ = (bits_ << layout.count) | field;
    bit_count_ += layout.count;
    if (bit_count_ >= 48) EmitWholeWords();
  }
  EmitWholeWords();
  if (words != nullptr) {
    ++archive_frames_;
  } else {
    ++fill_frames_;
  }
}

void archiveframestreamclass::EmitWholeWords() {
  // Each stream word goes out little-endian, its first bit as bit 15.
  while (bit_count_ >= 16) {
    bit_count_ -= 16;
    const auto word = static_cast<uint16_t>(bits_ >> bit_count_);
    pending_[pending_len_++] = static_cast<uint8_t>(word & 0xFF);
    pending_[pending_len_++] = static_cast<uint8_t>(word >> 8);
  }
  bits_ &= (uint64_t{1} << bit_count_) - 1;
}

void archiveframestreamclass::FinishStream() {
  // The last stream word is padded with zero bits.
  if (bit_count_ > 0) {
    bits_ <<= 16 - bit_count_;
    bit_count_ = 16;
    EmitWholeWords();
  }
  ended_ = true;
}
