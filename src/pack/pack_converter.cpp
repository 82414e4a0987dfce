// The packed-bit converter: archive frames in, packed stream out.
//
// Each frame is packed where it lies in the frame block, straight into the
// packed buffer, with the whole-word kernels of bit_packer; when a group of F
// frames has been packed, the group is handed on in one piece (at most
// 256 KiB): to the stream sink, and to the pack file with one write call
// when the pack file is wanted. Missing frames, seen as gaps in the frame
// times, are replaced by fill frames of 0xAAAA words.
#include "pack/pack_converter.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "archive/ark_header.h"
#include "archive/frame_header.h"
#include "support/error_log.h"
#include "support/text_format.h"
#include "support/time_keeping.h"

// The packed buffer is written as it lies in memory; the pack file holds
// little-endian 16-bit words.
static_assert(std::endian::native == std::endian::little, "pack file words are little-endian");

namespace {

constexpr int32_t kGroupWordBudget = 130972;  // 100 words short of the packed buffer
constexpr int kGroupSearchSteps = 400;

}  // namespace

orloarkpackclass::orloarkpackclass(const arkheaderstruct& header)
    : header_(&header), fill_frame_(kFillFrameWords, 0xAAAA) {}

orloarkpackclass::~orloarkpackclass() { ClosePackOutput(); }

bool orloarkpackclass::CheckSetup(std::string& reason) const {
  const arkheaderstruct& h = *header_;
  const int32_t w = h.WordsPerMinorFrame;
  if (w < 1 || w > kWordTableEntries) {
    reason = "words per minor frame " + FormatFixedNumber(16, 0, w) + " outside 1 to 16383";
    return false;
  }
  if (!(h.MinorFrameRate > 0.0) || !std::isfinite(h.MinorFrameRate)) {
    reason = "minor frame rate is not above 0";
    return false;
  }
  for (int32_t i = 0; i < w; ++i) {
    const int32_t length = h.WordTable[i].iWdLen;
    if (!IsPackableWordLength(length)) {
      reason = "word " + FormatFixedNumber(16, 0, i + 1) + " is " + FormatFixedNumber(16, 0, length) +
               " bits long, not 1 to 16";
      return false;
    }
  }
  return true;
}

void orloarkpackclass::BuildWordLayout() {
  // CheckSetup keeps the frame inside the word table.
  assert(words_per_frame_ >= 1 && words_per_frame_ <= kWordTableEntries);
  layout_.resize(static_cast<size_t>(words_per_frame_));
  for (int32_t i = 0; i < words_per_frame_; ++i) {
    const decomwordstruct& word = header_->WordTable[i];
    layout_[i] = MakeWordLayout(word.iWdLen, word.bLeftAlign != 0);
  }
  uniform_layout_ = true;
  for (const packwordlayout& l : layout_) {
    if (l.length != layout_[0].length || l.shift != layout_[0].shift) {
      uniform_layout_ = false;
      break;
    }
  }
}

bool orloarkpackclass::SetPackFile(const std::string& path, double first_frame_time,
                                   int64_t whole_frame_count) {
  // A pack file still open from an earlier run gets its remaining frames.
  ClosePackOutput();

  pack_file_name_ = path;
  whole_frame_count_ = whole_frame_count;
  prepared_ = false;
  output_error_ = 0;
  block_count_ = missed_frame_count_ = valid_frame_count_ = total_frame_count_ = damaged_time_count_ = gap_count_ = 0.0;
  cut_fill_frames_ = 0.0;
  frames_in_group_ = packed_words_ = 0;
  frames_converted_ = 0;
  fill_written_ = damaged_lines_ = gap_lines_ = 0;
  sink_failed_ = stop_seen_ = fill_cut_logged_ = false;
  frame_waiting_ = false;
  stream_ = bitstreamstate{};

  std::string reason;
  if (!CheckSetup(reason)) {
    output_error_ = EINVAL;
    LogError("SetPackFile: the frame setup cannot be packed, " + reason, 255, true);
    return false;
  }

  // Made once per converter: every word is written before it is handed on.
  if (packed_buffer_.size() != kPackBufferWords) packed_buffer_.assign(kPackBufferWords, 0);

  words_per_frame_ = header_->WordsPerMinorFrame;
  frames_per_block_ = std::max<int32_t>(header_->FramesPerBlock, 0);
  frame_stride_ = words_per_frame_ + kFrameHeaderWords;
  frame_data_bytes_ = words_per_frame_ * 2;
  frame_period_ = 1.0 / header_->MinorFrameRate;
  half_period_ = frame_period_ * 0.5;
  block_duration_ = frames_per_block_ * frame_period_;
  // The stream starts with the archive's first frame: taken as one frame
  // period after its predecessor, it opens no gap. Measured from a whole
  // block before it, an archive with several frames per block would open
  // with fill frames and every later bit would be dated that much too late.
  previous_frame_time_ = first_frame_time - frame_period_;
  SetSpanLimit(FillSpanLimit(header_->StartTime, header_->StopTime, block_duration_));
  waiting_words_.assign(static_cast<size_t>(frame_data_bytes_), 0);
  frames_per_group_ = OptimumFillBufFrames();
  BuildWordLayout();

  if (!pack_file_.Create(path)) return false;
  prepared_ = true;
  return true;
}

void orloarkpackclass::SetSpanLimit(double span_limit) {
  // No lost stretch is longer than the archive itself: a longer step that
  // the next frame does not confirm is a damaged time stamp. Nor does any
  // run write more frames than that span holds, whatever its steps say.
  span_limit_ = span_limit;
  fill_budget_frames_ = FillBudget(FrameBudget(span_limit_, frame_period_), whole_frame_count_);
}

void orloarkpackclass::SetStreamSink(packedbytesinkclass* sink) { stream_sink_ = sink; }

int32_t orloarkpackclass::OptimumFillBufFrames() {
  const int32_t w = header_->WordsPerMinorFrame;
  if (w < 1) return 1;

  // Largest multiple of 16 frames that fits the packed buffer, so that every
  // group ends on a 16-bit boundary.
  int32_t n = kGroupWordBudget / w;
  for (int step = 0; step < kGroupSearchSteps; ++step) {
    if (n % 16 == 0) break;
    --n;
  }
  if (n >= 1) return n;

  // Very long frames: try upwards, and fall back to groups of one frame.
  n = kGroupWordBudget / w;
  for (int step = 0; step < kGroupSearchSteps; ++step) {
    if (static_cast<int64_t>(n) * w > kPackBufferWords) {
      LogError("OptimumFillBufFrames Not a factor of 16, so data will be bad.  See Software!!!", n,
               false);
      n = 1;
      break;
    }
    if (n % 16 == 0) break;
    ++n;
  }
  // A frame longer than the whole budget would leave n at 0.
  return n >= 1 ? n : 1;
}

void orloarkpackclass::ProcessArkBlock(const uint8_t* serial, size_t serial_bytes) {
  if (!prepared_) return;
  ArkFramesToPackedBitFrames(serial, serial_bytes);
  valid_frame_count_ += frames_converted_;
  total_frame_count_ = valid_frame_count_ + missed_frame_count_;
}

bool orloarkpackclass::ArkFramesToPackedBitFrames(const uint8_t* serial, size_t serial_bytes) {
  frames_converted_ = 0;
  if (!prepared_) return false;
  bool gap_filled = false;
  block_count_ += 1.0;

  // Only frames that lie wholly inside the serial data are read.
  const size_t stride_bytes = FrameStrideBytes(words_per_frame_);
  const size_t frames = WholeFramesInBlock(frames_per_block_, serial_bytes, stride_bytes);
  auto frame_time = [&](size_t k) {
    double t = 0.0;
    int32_t sfid = 0, state_a = 0, state_b = 0;
    DecodeFrameHeader(serial + k * stride_bytes, t, sfid, state_a, state_b);
    return t;
  };

  // The archive's first frame opens no gap, unless its own stamp is the
  // damaged one (the two frames after it agree with each other and lie
  // further from it than the rest of the archive lasts): then it is judged
  // like any damaged stamp, and the span is measured from where it belongs.
  if (block_count_ == 1.0 && frames > 0) {
    std::optional<double> t1, t2;
    if (frames > 1) t1 = frame_time(1);
    if (frames > 2) t2 = frame_time(2);
    previous_frame_time_ =
        FirstFrameReference(frame_time(0), t1, t2, frame_period_, header_->StopTime, block_duration_);
    if (previous_frame_time_ != frame_time(0) - frame_period_)
      SetSpanLimit(FillSpanLimit(previous_frame_time_ + frame_period_, header_->StopTime, block_duration_));
  }

  // The last frame of the previous block gets its successor now.
  if (frame_waiting_ && frames > 0) {
    frametimedecision d = JudgeFrameTime(previous_frame_time_, waiting_time_, frame_time(0), frame_period_,
                                         span_limit_, fill_budget_frames_ - fill_written_);
    frame_waiting_ = false;
    gap_filled = d.verdict == FrameTimeVerdict::Gap;
    ConvertJudgedFrame(d, waiting_words_.data(), waiting_index_, waiting_block_count_);
    ++frames_converted_;
  }

  for (size_t k = 0; k < frames; ++k) {
    const uint8_t* frame = serial + k * stride_bytes;
    const double t = frame_time(k);
    const double dt = t - previous_frame_time_;
    if (dt >= frame_period_ - half_period_ && dt <= frame_period_ + half_period_) {
      AppendFrameWords(frame + kFrameHeaderBytes);
      previous_frame_time_ = t;
      ++frames_converted_;
      continue;
    }
    // Out of step: the frame after it decides. For the block's last frame
    // that is the first frame of the next block, so this frame waits.
    if (k + 1 == frames) {
      std::memcpy(waiting_words_.data(), frame + kFrameHeaderBytes, static_cast<size_t>(frame_data_bytes_));
      waiting_time_ = t;
      waiting_index_ = static_cast<int32_t>(k);
      waiting_block_count_ = block_count_;
      frame_waiting_ = true;
      break;
    }
    frametimedecision d = JudgeFrameTime(previous_frame_time_, t, frame_time(k + 1), frame_period_, span_limit_,
                                         fill_budget_frames_ - fill_written_);
    if (d.verdict == FrameTimeVerdict::Gap) gap_filled = true;
    ConvertJudgedFrame(d, frame + kFrameHeaderBytes, static_cast<int32_t>(k), block_count_);
    ++frames_converted_;
  }
  return gap_filled;
}

void orloarkpackclass::FinishFrames() {
  if (!prepared_ || !frame_waiting_) return;
  frame_waiting_ = false;
  frametimedecision d = JudgeFrameTime(previous_frame_time_, waiting_time_, std::nullopt, frame_period_, span_limit_,
                                       fill_budget_frames_ - fill_written_);
  ConvertJudgedFrame(d, waiting_words_.data(), waiting_index_, waiting_block_count_);
  valid_frame_count_ += 1.0;
  total_frame_count_ = valid_frame_count_ + missed_frame_count_;
}

void orloarkpackclass::RestartFrameTimesAt(double frame_time) {
  FinishFrames();
  previous_frame_time_ = frame_time - frame_period_;
}

void orloarkpackclass::ConvertJudgedFrame(const frametimedecision& d, const uint8_t* frame_words,
                                          int32_t index_in_block, double block_count) {
  // A time base that goes wrong and stays wrong would give a line for
  // every later frame: the first lines of each kind are logged, the rest
  // counted at the end of the pass.
  if (d.verdict == FrameTimeVerdict::Damaged) {
    // Only this frame's stamp is off: the frame keeps its place in the
    // stream and the reference moves on by one period.
    damaged_time_count_ += 1.0;
    if (++damaged_lines_ <= kLoggedFrameTimeLines) {
      LogInfo("ArkFramesToPackedBitFrames(), Ark File frame time out of step, kept in place      dT was " +
                  FormatDayTimeMicro(d.step) + "      ArkBlockCount " + FormatFixedNumber(12, 0, block_count),
              index_in_block, false);
    }
  } else if (d.verdict == FrameTimeVerdict::Gap) {
    gap_count_ += 1.0;
    // A step of m frame periods means m - 1 frames are missing between
    // the two frames: that many fill frames keep every later bit at its
    // time. A repeated or backward time (m of 0 or less) has lost
    // nothing; it is logged with its m and nothing is filled or counted.
    const int64_t missed = d.steps >= 2 ? d.steps - 1 : d.steps;
    const int64_t filled = d.fill_frames > 0 ? AppendFillFrames(d.fill_frames) : 0;
    missed_frame_count_ += static_cast<double>(filled);
    if (d.fill_cut) {
      // The rest of the archive keeps its frames but no longer its times.
      if (!fill_cut_logged_) {
        fill_cut_logged_ = true;
        LogWarning("ArkFramesToPackedBitFrames(), fill cut to " + FormatFixedNumber(20, 0, static_cast<double>(filled)) +
                       " of " + FormatFixedNumber(20, 0, static_cast<double>(missed)) +
                       " missed frames: the archive's time span holds " +
                       FormatFixedNumber(20, 0, static_cast<double>(fill_budget_frames_)) +
                       " fill frames besides its own frames, and no more are filled",
                   index_in_block, false);
      }
      cut_fill_frames_ += static_cast<double>(missed - d.fill_frames);
    }
    if (++gap_lines_ <= kLoggedFrameTimeLines) {
      std::string text = "ArkFramesToPackedBitFrames(), Ark File frames missed = " +
                         FormatFixedNumber(9, 0, static_cast<double>(missed));
      if (text.size() < 50) text.append(50 - text.size(), ' ');
      text += "      dT was " + FormatDayTimeMicro(d.step) + "      Filled with 0xAAAA frame.  ArkBlockCount " +
              FormatFixedNumber(12, 0, block_count);
      LogInfo(text, index_in_block, false);
    }
  }
  AppendFrameWords(frame_words);
  previous_frame_time_ = d.reference;
}

void orloarkpackclass::AppendFrameWords(const uint8_t* frame_words) { PackFrame(frame_words); }

int64_t orloarkpackclass::AppendFillFrames(int64_t count) {
  // A long gap ends early once the run is stopping or a writer has failed:
  // nothing would take its frames.
  // Fill frames are all alike, so the fill buffer holds several of them
  // one after another: they are packed a run at a time, each run ending
  // where the group ends or the packed buffer is full, the only places
  // where the stream is handed on and the run may be told to stop.
  // A run of any length when the fill buffer holds a whole period of fill
  // frames (PackFillFrames packs one period at a time), else what it holds.
  const uint8_t* fill = reinterpret_cast<const uint8_t*>(fill_frame_.data());
  const int64_t w = words_per_frame_;
  const bool whole_periods = kFillPeriodFrames * w <= kFillFrameWords;
  const int64_t frames_per_run = whole_periods ? count : std::max<int64_t>(kFillFrameWords / w, 1);
  int64_t done = 0;
  while (done < count && !FillMustStop() && prepared_) {
    const int64_t run = std::min({count - done, frames_per_run,
                                  static_cast<int64_t>(frames_per_group_ - frames_in_group_),
                                  (kPackBufferWords - packed_words_) / w});
    if (run < 1) {
      PackFrame(fill);  // hands on what the buffer holds first
      ++done;
      continue;
    }
    uint16_t* out = packed_buffer_.data() + packed_words_;
    const size_t stored = whole_periods ? PackFillFrames(run, out) : PackFrames(fill, run, out);
    assert(packed_words_ + static_cast<int64_t>(stored) <= kPackBufferWords);
    packed_words_ += static_cast<int32_t>(stored);
    frames_in_group_ += static_cast<int32_t>(run);
    done += run;
    if (frames_in_group_ >= frames_per_group_) PackFillBuffer();
  }
  fill_written_ += done;
  return done;
}

size_t orloarkpackclass::PackFrames(const uint8_t* words, int64_t frames, uint16_t* out) {
  const size_t w = static_cast<size_t>(words_per_frame_);
  return uniform_layout_ ? PackUniformWords(stream_, words, static_cast<size_t>(frames) * w, layout_[0], out)
                         : PackFramesByLayout(stream_, words, static_cast<size_t>(frames), layout_.data(), w, out);
}

size_t orloarkpackclass::PackFillFrames(int64_t frames, uint16_t* out) {
  // Every fill frame carries the same bits. Once packing a period leaves the
  // stream state as it found it, the next period starts from the same state
  // with the same bits and stores the same words, and so on: the rest of the
  // whole periods are copies of that one. The state repeats within a few
  // periods (when the 64-bit accumulator holds fill bits only).
  assert(kFillPeriodFrames * static_cast<int64_t>(words_per_frame_) <= kFillFrameWords);
  const uint8_t* fill = reinterpret_cast<const uint8_t*>(fill_frame_.data());
  size_t stored = 0;
  while (frames >= kFillPeriodFrames) {
    const bitstreamstate before = stream_;
    const size_t period_words = PackFrames(fill, kFillPeriodFrames, out + stored);
    frames -= kFillPeriodFrames;
    if (stream_ == before) {
      const uint16_t* period = out + stored;
      stored += period_words;
      // Copies in doubling blocks of the periods already stored.
      int64_t copies = frames / kFillPeriodFrames;
      frames -= copies * kFillPeriodFrames;
      size_t have = 1;
      while (copies > 0) {
        const size_t take = static_cast<size_t>(std::min<int64_t>(copies, static_cast<int64_t>(have)));
        std::memcpy(out + stored, period, take * period_words * sizeof(uint16_t));
        stored += take * period_words;
        have += take;
        copies -= static_cast<int64_t>(take);
      }
      break;
    }
    stored += period_words;
  }
  return stored + PackFrames(fill, frames, out + stored);
}

void orloarkpackclass::PackFrame(const uint8_t* words) {
  if (!prepared_ || OutputFailed()) return;
  // At most one stream word per container (words are 16 bits or less).
  if (packed_words_ + words_per_frame_ > kPackBufferWords) DeliverPackedWords();
  assert(packed_words_ + words_per_frame_ <= kPackBufferWords);
  packed_words_ += static_cast<int32_t>(PackFrames(words, 1, packed_buffer_.data() + packed_words_));
  if (++frames_in_group_ >= frames_per_group_) PackFillBuffer();
}

void orloarkpackclass::PackFillBuffer() {
  // The group's frames are packed already; the unfinished stream word
  // carries over, so the stream continues across groups.
  DeliverPackedWords();
  frames_in_group_ = 0;
  if (stop_check_ && !stop_seen_ && stop_check_()) stop_seen_ = true;
}

void orloarkpackclass::PackWordBits(uint16_t value, int32_t length_bits, bool left_justified) {
  if (!prepared_ || length_bits < 1) return;
  if (packed_words_ >= kPackBufferWords) DeliverPackedWords();
  assert(packed_words_ < kPackBufferWords);
  packed_words_ += static_cast<int32_t>(PackSingleWord(stream_, value, MakeWordLayout(length_bits, left_justified),
                                                       packed_buffer_.data() + packed_words_));
}

void orloarkpackclass::DeliverPackedWords() {
  if (packed_words_ == 0) return;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(packed_buffer_.data());
  const size_t count = static_cast<size_t>(packed_words_) * 2;
  if (pack_file_wanted_ && !OutputFailed()) pack_file_.AcceptPackedBytes(bytes, count);
  if (stream_sink_ != nullptr && !stream_sink_->AcceptPackedBytes(bytes, count)) {
    stream_sink_ = nullptr;  // it has failed and said so
    sink_failed_ = true;
  }
  packed_words_ = 0;
}

void orloarkpackclass::LogOmittedFrameTimeLines() {
  const int64_t damaged = damaged_lines_ - kLoggedFrameTimeLines;
  if (damaged > 0) {
    LogInfo("ArkFramesToPackedBitFrames(), " + FormatFixedNumber(20, 0, static_cast<double>(damaged)) +
                " more frame times out of step, kept in place, not logged one by one",
            0, false);
  }
  const int64_t gaps = gap_lines_ - kLoggedFrameTimeLines;
  if (gaps > 0) {
    LogInfo("ArkFramesToPackedBitFrames(), " + FormatFixedNumber(20, 0, static_cast<double>(gaps)) +
                " more gaps, not logged one by one; fill frames in all " + FormatFixedNumber(20, 0, missed_frame_count_),
            0, false);
  }
  damaged_lines_ = gap_lines_ = 0;
}

bool orloarkpackclass::ClosePackOutput() {
  FinishFrames();
  if (prepared_) {
    LogOmittedFrameTimeLines();
    // Every frame reaches the stream: the unfinished group and the last
    // stream word padded with zero bits, handed on together.
    if (packed_words_ >= kPackBufferWords) DeliverPackedWords();
    assert(packed_words_ < kPackBufferWords);
    packed_words_ += static_cast<int32_t>(PackPadLastWord(stream_, packed_buffer_.data() + packed_words_));
    DeliverPackedWords();
    prepared_ = false;
  }
  pack_file_.Close();
  frames_in_group_ = packed_words_ = 0;
  stream_ = bitstreamstate{};
  return !OutputFailed();
}
