// Frame time judgement: a frame out of step is checked against the frame
// after it before its step is taken as lost frames.
#include "pack/frame_time_check.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "support/time_keeping.h"

namespace {

bool WithinHalf(double value, double target, double half) { return std::fabs(value - target) <= half; }

}  // namespace

frametimedecision JudgeFrameTime(double reference, double frame_time,
                                 std::optional<double> next_time, double period,
                                 double span_limit, int64_t fill_room) {
  frametimedecision d;
  const double half = period * 0.5;
  d.step = frame_time - reference;
  if (d.step >= period - half && d.step <= period + half) {
    d.reference = frame_time;
    return d;
  }

  // One damaged stamp: the next frame sits where this frame's successor
  // belongs.
  const bool next_in_place = next_time && WithinHalf(*next_time, reference + 2.0 * period, half);
  // The next frame follows this one: the time base moved and stays moved.
  const bool confirmed = next_time && WithinHalf(*next_time, frame_time + period, half);
  // Without that confirmation, a step longer than the archive itself cannot
  // be lost frames, and one that is not a number cannot be measured.
  const bool beyond_span = !std::isfinite(d.step) || std::fabs(d.step) > span_limit;
  if (next_in_place || (!confirmed && beyond_span)) {
    d.verdict = FrameTimeVerdict::Damaged;
    d.reference = reference + period;
    return d;
  }

  // A step of m periods means m - 1 lost frames, as far as the run's
  // budget reaches.
  d.verdict = FrameTimeVerdict::Gap;
  d.steps = RoundToInt(d.step / period);
  const int64_t lost = d.steps >= 2 ? d.steps - 1 : 0;
  d.fill_frames = std::min(lost, std::max<int64_t>(fill_room, 0));
  d.fill_cut = d.fill_frames < lost;
  d.reference = frame_time;
  return d;
}

double FillSpanLimit(double start_time, double stop_time, double block_duration) {
  double span = stop_time - start_time;
  if (!std::isfinite(span) || span < 0.0) span = 0.0;
  return span + block_duration;
}

int64_t FrameBudget(double span_limit, double period) {
  // Far beyond anything a disk holds, and clear of the integer range.
  constexpr double kMostFrames = 4e18;
  const double frames = span_limit / period;
  if (!(frames >= 0.0)) return 1;  // not a number
  if (frames >= kMostFrames) return static_cast<int64_t>(kMostFrames);
  return static_cast<int64_t>(std::ceil(frames)) + 1;
}

double FirstFrameReference(double t0, std::optional<double> t1, std::optional<double> t2,
                           double period, double stop_time, double block_duration) {
  const double half = period * 0.5;
  if (!t1 || !t2) return t0 - period;
  const double next_step = *t2 - *t1;
  const bool successors_agree = next_step >= period - half && next_step <= period + half;
  const double rest_of_archive = FillSpanLimit(*t1 - period, stop_time, block_duration);
  if (successors_agree && !(std::fabs(*t1 - t0) <= rest_of_archive)) return *t1 - 2.0 * period;
  return t0 - period;
}
