// Frame time judgement: a frame out of step is checked against the frame
// after it before its step is taken as lost frames.
#include "pack/frame_time_check.h"

#include <cmath>

#include "support/time_keeping.h"

frametimedecision JudgeFrameTime(double reference, double frame_time,
                                 std::optional<double> next_time, double period,
                                 double span_limit) {
  frametimedecision d;
  const double half = period * 0.5;
  d.step = frame_time - reference;
  if (d.step >= period - half && d.step <= period + half) {
    d.reference = frame_time;
    return d;
  }

  // One damaged stamp: the next frame sits where this frame's successor
  // belongs. A step longer than the archive itself cannot be lost frames
  // either, and one that is not a number cannot be measured.
  const bool beyond_span = !std::isfinite(d.step) || std::fabs(d.step) > span_limit;
  const bool next_in_place = next_time && std::fabs(*next_time - (reference + 2.0 * period)) <= half;
  if (beyond_span || next_in_place) {
    d.verdict = FrameTimeVerdict::Damaged;
    d.reference = reference + period;
    return d;
  }

  // The time base moved: a step of m periods means m - 1 lost frames.
  d.verdict = FrameTimeVerdict::Gap;
  d.steps = RoundToInt(d.step / period);
  d.fill_frames = d.steps >= 2 ? d.steps - 1 : 0;
  d.reference = frame_time;
  return d;
}

double FillSpanLimit(double start_time, double stop_time, double block_duration) {
  double span = stop_time - start_time;
  if (!std::isfinite(span) || span < 0.0) span = 0.0;
  return span + block_duration;
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
