// The expected PCM stream, made from the archive's frames.
#include "verify/archive_frame_stream.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "archive/archive_reader.h"
#include "archive/frame_header.h"
#include "pack/frame_time_check.h"
#include "support/read_ahead_thread.h"
#include "verify/ch10_packet_reader.h"

namespace {
// Stream bytes per chunk: large enough that the hand-overs between the
// threads cost little, small enough to stay in the cache.
constexpr size_t kChunkBytes = 256u << 10;
constexpr size_t kPrefetchBytes = 2048;
}  // namespace

archiveframestreamclass::archiveframestreamclass(const orloarkclass& archive)
    : archive_(archive), reader_(kVerifyReading), packer_(StreamWordsOf(archive.Header())) {
  const arkheaderstruct& h = archive_.Header();
  words_per_frame_ = std::clamp<int32_t>(h.WordsPerMinorFrame, 0, kWordTableEntries);
  stride_ = FrameStrideBytes(words_per_frame_);
  serial_bytes_ = static_cast<size_t>(std::max(h.SerialBytesPerBlock, 0));
  block_bytes_ = static_cast<size_t>(kBlockPrefixBytes) + serial_bytes_ +
                 static_cast<size_t>(std::max(h.StatusBytesPerBlock, 0));
  period_ = h.MinorFrameRate > 0.0 ? 1.0 / h.MinorFrameRate : 0.0;
  block_duration_ = std::max(h.FramesPerBlock, 0) * period_;
  span_limit_ = FillSpanLimit(h.StartTime, h.StopTime, block_duration_);
  fill_budget_ = FillBudget(FrameBudget(span_limit_, period_), archive_.WholeFrameCount());
  kept_words_.resize(static_cast<size_t>(words_per_frame_) * 2);
  for (chunkstruct& chunk : chunks_)
    chunk.bytes.resize(kChunkBytes + packer_.FrameBytesBound() + 8);
}

archiveframestreamclass::~archiveframestreamclass() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool archiveframestreamclass::Open() {
  if (!reader_.Open(archive_.FileName())) return false;
  if (!reader_.Seek(std::max<int64_t>(archive_.HeaderBytes(), 0))) return false;
  if (UsableProcessors() >= 2) {
    try {
      thread_ = std::thread(&archiveframestreamclass::Run, this);
    } catch (const std::system_error&) {
      // No thread to be had: the chunks are made as they are wanted.
    }
  }
  return true;
}

int64_t archiveframestreamclass::FrameAtByte(int64_t byte_offset) const {
  const int64_t bits = packer_.BitsPerFrame();
  return bits > 0 ? byte_offset * 8 / bits : 0;
}

void archiveframestreamclass::MakeChunk(chunkstruct& chunk) {
  making_ = &chunk;
  chunk.length = 0;
  while (chunk.length < kChunkBytes && !ended_) {
    if (!MakeNextFrame()) {
      chunk.length += packer_.Finish(chunk.bytes.data() + chunk.length);
      ended_ = true;
    }
  }
  chunk.last = ended_;
}

void archiveframestreamclass::Run() {
  for (bool last = false; !last;) {
    {
      std::unique_lock<std::mutex> guard(lock_);
      changed_.wait(guard, [this] { return made_ < kChunks || stopping_; });
      if (stopping_) return;
    }
    chunkstruct& chunk = chunks_[next_made_];
    MakeChunk(chunk);
    last = chunk.last;
    next_made_ = (next_made_ + 1) % kChunks;
    {
      std::lock_guard<std::mutex> guard(lock_);
      ++made_;
    }
    changed_.notify_all();
  }
}

size_t archiveframestreamclass::Peek(const uint8_t*& data) {
  if (taking_ != nullptr && taken_ == taking_->length && !seen_last_) {
    // Taken whole: the chunk goes back to be made again.
    taking_ = nullptr;
    if (thread_.joinable()) {
      {
        std::lock_guard<std::mutex> guard(lock_);
        --made_;
      }
      changed_.notify_all();
    }
  }
  if (taking_ == nullptr) {
    if (thread_.joinable()) {
      std::unique_lock<std::mutex> guard(lock_);
      changed_.wait(guard, [this] { return made_ > 0; });
      taking_ = &chunks_[next_taken_];
      next_taken_ = (next_taken_ + 1) % kChunks;
    } else {
      MakeChunk(chunks_[0]);
      taking_ = &chunks_[0];
    }
    taken_ = 0;
    seen_last_ = taking_->last;
  }
  data = taking_->bytes.data() + taken_;
  return taking_->length - taken_;
}

bool archiveframestreamclass::TakeBlock() {
  // The blocks end where the file did when the archive was opened, or at
  // a block the file ends inside (which is not converted).
  if (reader_.Position() >= archive_.FileSize()) return false;
  size_t got = 0;
  const uint8_t* block = reader_.View(block_bytes_, got);
  reader_.Consume(got);
  if (got < block_bytes_) {
    read_failed_ = reader_.ReadError() != 0;
    return false;
  }
  serial_ = block + kBlockPrefixBytes;
  frames_in_block_ = WholeFramesInBlock(archive_.Header().FramesPerBlock, serial_bytes_, stride_);
  next_in_block_ = 0;
  if (++blocks_read_ == 1) {
    for (size_t k = 0; k < 3 && k < frames_in_block_; ++k) {
      double time = 0.0;
      int32_t sfid = 0, state_a = 0, state_b = 0;
      DecodeFrameHeader(serial_ + k * stride_, time, sfid, state_a, state_b);
      first_block_times_[k] = time;
    }
  }
  return true;
}

bool archiveframestreamclass::FetchFrame(heldframestruct& frame) {
  while (next_in_block_ >= frames_in_block_) {
    // The next block may take the place of the one current_ lies in.
    if (current_.words != nullptr && current_.words != kept_words_.data()) {
      std::memcpy(kept_words_.data(), current_.words, kept_words_.size());
      current_.words = kept_words_.data();
    }
    if (!TakeBlock()) return false;
  }
  const uint8_t* at = serial_ + next_in_block_ * stride_;
  // The frames lie in memory the reading thread filled: asking for the
  // bytes a few frames on before they are needed hides most of the wait.
  __builtin_prefetch(at + kPrefetchBytes);
  int32_t sfid = 0, state_a = 0, state_b = 0;
  DecodeFrameHeader(at, frame.time, sfid, state_a, state_b);
  frame.words = at + kFrameHeaderBytes;
  ++next_in_block_;
  return true;
}

bool archiveframestreamclass::MakeNextFrame() {
  if (fill_waiting_ > 0) {
    --fill_waiting_;
    PackFrame(nullptr);
    return true;
  }
  if (current_waiting_) {
    current_waiting_ = false;
    PackFrame(current_.words);
    return true;
  }
  if (!started_) {
    started_ = true;
    have_next_ = FetchFrame(next_);
    if (have_next_) {
      const double stop = archive_.Header().StopTime;
      reference_ = FirstFrameReference(next_.time, first_block_times_[1], first_block_times_[2],
                                       period_, stop, block_duration_);
      // A damaged first stamp: the span is measured from where it belongs.
      if (reference_ != next_.time - period_) {
        span_limit_ = FillSpanLimit(reference_ + period_, stop, block_duration_);
        fill_budget_ = FillBudget(FrameBudget(span_limit_, period_), archive_.WholeFrameCount());
      }
    }
  }
  if (!have_next_) return false;
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
  PackFrame(current_.words);
  return true;
}

void archiveframestreamclass::PackFrame(const uint8_t* words) {
  making_->length += packer_.PackFrame(words, making_->bytes.data() + making_->length);
  if (words != nullptr) {
    ++archive_frames_;
  } else {
    ++fill_frames_;
  }
}
