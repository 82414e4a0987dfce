// The archive's inspection: the open a conversion makes, then the block
// loop of the conversion pass with the packing left out, each frame judged
// as the packed-bit converter judges it.
#include "info/archive_info.h"


#include <algorithm>
#include <cstdlib>
#include <optional>

#include "archive/archive_reader.h"
#include "archive/decom_setup.h"
#include "archive/frame_header.h"
#include "pack/frame_time_check.h"

namespace {

// Steps looked at for the rate the frame times show.
constexpr size_t kRateSampleFrames = 4097;
// The picture needs no more marks than this; the counts go on regardless.
constexpr size_t kTimeLineEntries = size_t{1} << 22;

// The frame walk: the converter's, counting instead of packing.
class framewalkclass {
 public:
  framewalkclass(const orloarkclass& archive, archiveinfostruct& info, bool keep)
      : archive_(archive), info_(info), keep_(keep) {
    const arkheaderstruct& h = archive.Header();
    period_ = 1.0 / h.MinorFrameRate;
    half_ = period_ * 0.5;
    frames_per_block_ = std::max<int32_t>(h.FramesPerBlock, 0);
    block_duration_ = frames_per_block_ * period_;
    stride_ = FrameStrideBytes(h.WordsPerMinorFrame);
    reference_ = archive.FirstFrameTime() - period_;
    SetSpanLimit(FillSpanLimit(h.StartTime, h.StopTime, block_duration_));
    rate_sample_.reserve(kRateSampleFrames);
  }

  void Block(const uint8_t* serial, size_t serial_bytes) {
    ++info_.blocks;
    const size_t frames = WholeFramesInBlock(frames_per_block_, serial_bytes, stride_);
    auto frame_time = [&](size_t k) {
      double t = 0.0;
      int32_t sfid = 0, state_a = 0, state_b = 0;
      DecodeFrameHeader(serial + k * stride_, t, sfid, state_a, state_b);
      return t;
    };
    if (info_.blocks == 1 && frames > 0) {
      std::optional<double> t1, t2;
      if (frames > 1) t1 = frame_time(1);
      if (frames > 2) t2 = frame_time(2);
      const arkheaderstruct& h = archive_.Header();
      reference_ = FirstFrameReference(frame_time(0), t1, t2, period_, h.StopTime, block_duration_);
      if (reference_ != frame_time(0) - period_)
        SetSpanLimit(FillSpanLimit(reference_ + period_, h.StopTime, block_duration_));
    }
    if (waiting_ && frames > 0) {
      waiting_ = false;
      Judged(JudgeFrameTime(reference_, waiting_time_, frame_time(0), period_, span_limit_,
                            fill_budget_ - info_.fill_frames),
             waiting_time_);
    }
    for (size_t k = 0; k < frames; ++k) {
      const double t = frame_time(k);
      const double dt = t - reference_;
      if (dt >= period_ - half_ && dt <= period_ + half_) {
        reference_ = t;
        Counted(t);
        continue;
      }
      if (k + 1 == frames) {
        waiting_time_ = t;
        waiting_ = true;
        break;
      }
      Judged(JudgeFrameTime(reference_, t, frame_time(k + 1), period_, span_limit_,
                            fill_budget_ - info_.fill_frames),
             t);
    }
  }

  // The archive's last frame, when it still waits for a successor.
  void Finish() {
    if (waiting_) {
      waiting_ = false;
      Judged(JudgeFrameTime(reference_, waiting_time_, std::nullopt, period_, span_limit_,
                            fill_budget_ - info_.fill_frames),
             waiting_time_);
    }
    std::vector<double> steps;
    for (size_t k = 1; k < rate_sample_.size(); ++k) {
      const double step = rate_sample_[k] - rate_sample_[k - 1];
      if (step > 0.0) steps.push_back(step);
    }
    if (steps.size() >= 2) {
      auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
      std::nth_element(steps.begin(), middle, steps.end());
      info_.shown_rate = 1.0 / *middle;
    }
  }

 private:
  void SetSpanLimit(double span_limit) {
    span_limit_ = span_limit;
    fill_budget_ = FillBudget(FrameBudget(span_limit_, period_), archive_.WholeFrameCount());
  }

  void Judged(const frametimedecision& d, double time) {
    if (d.verdict == FrameTimeVerdict::Damaged) {
      ++info_.damaged_stamps;
      if (keep_ && info_.damaged_times.size() < kTimeLineEntries) info_.damaged_times.push_back(d.reference);
    } else if (d.verdict == FrameTimeVerdict::Gap) {
      ++info_.gaps;
      const int64_t missed = d.steps >= 2 ? d.steps - 1 : d.steps;
      if (d.fill_cut) info_.cut_fill_frames += missed - d.fill_frames;
      if (d.fill_frames > 0) {
        ++info_.filled_gaps;
        info_.fill_frames += d.fill_frames;
        const archivegapstruct gap{time, d.fill_frames, missed};
        if (d.fill_frames > info_.largest_gap.fill_frames) info_.largest_gap = gap;
        if (keep_ && info_.gap_list.size() < kTimeLineEntries) info_.gap_list.push_back(gap);
      }
    }
    reference_ = d.reference;
    Counted(time);
  }

  void Counted(double time) {
    if (info_.archive_frames == 0) info_.first_frame_time = time;
    info_.last_frame_time = time;
    ++info_.archive_frames;
    if (rate_sample_.size() < kRateSampleFrames) rate_sample_.push_back(time);
  }

  const orloarkclass& archive_;
  archiveinfostruct& info_;
  bool keep_;
  double period_ = 0.0;
  double half_ = 0.0;
  int32_t frames_per_block_ = 0;
  double block_duration_ = 0.0;
  size_t stride_ = 0;
  double reference_ = 0.0;
  double span_limit_ = 0.0;
  int64_t fill_budget_ = 0;
  bool waiting_ = false;
  double waiting_time_ = 0.0;
  std::vector<double> rate_sample_;
};

}  // namespace

const char* SetupDecisionCode(SetupDecision decision) {
  switch (decision) {
    case SetupDecision::Used: return "setup-file-used";
    case SetupDecision::NotFound: return "no-setup-file";
    case SetupDecision::NotUsed: return "setup-file-not-used";
  }
  return "no-setup-file";
}

bool InspectArchive(const std::string& path, archiveinfostruct& info, bool keep_time_line) {
  info = archiveinfostruct{};
  info.path = path;
  orloarkclass archive;
  if (!archive.OpenArkFile(path)) {
    info.refusal = archive.OpenFailure().empty() ? "could not be opened" : archive.OpenFailure();
    return false;
  }
  const arkheaderstruct& h = archive.Header();
  info.readable = true;
  info.year = h.ArchiveYear;
  info.start_time = h.StartTime;
  info.stop_time = h.StopTime;
  info.header_rate = h.MinorFrameRate;
  info.words_per_frame = h.WordsPerMinorFrame;
  info.frames_per_block = h.FramesPerBlock;
  info.status_bytes = h.StatusBytesPerBlock;
  info.recorded_setup_name = h.SetupFileName;
  info.setup_file = SetupFilePath(archive.FileName(), h.SetupFileName);
  if (!archive.SetupFileProblem().empty()) {
    info.setup = SetupDecision::NotUsed;
    info.setup_reason = archive.SetupFileProblem();
    info.setup_check = archive.SetupFileCheck();
    info.warnings.push_back({RunWarningKind::UnusedSetupFile, archive.SetupFileProblem()});
  } else {
    // Whether the open read the file, not whether one lies at its path: a
    // recorded name that does not end in ".B50" is never read.
    info.setup = archive.SetupFileUsed() ? SetupDecision::Used : SetupDecision::NotFound;
  }
  info.prompts_asked = info.setup != SetupDecision::Used;

  if (h.MinorFrameRate > 0.0 && h.WordsPerMinorFrame > 0) {
    info.frame_period = 1.0 / h.MinorFrameRate;
    framewalkclass walk(archive, info, keep_time_line);
    for (;;) {
      archive.ReadNextBlock();
      if (archive.EndOfData()) break;
      walk.Block(archive.SerialData(), archive.SerialBuffer().size());
    }
    walk.Finish();
  }
  info.partial_block_bytes = archive.PartialBlockBytes();
  archive.CloseArkFile();
  info.input_error = archive.InputError();

  archivewarningcountsstruct counts;
  counts.partial_block_bytes = info.partial_block_bytes;
  counts.damaged_stamps = static_cast<double>(info.damaged_stamps);
  counts.gaps = static_cast<double>(info.gaps);
  counts.archive_frames = static_cast<double>(info.archive_frames);
  counts.header_rate = info.header_rate;
  for (const archivewarningstruct& w : ArchiveWarningsFor(counts)) info.warnings.push_back({w.kind, w.text});
  return info.input_error == 0;
}
