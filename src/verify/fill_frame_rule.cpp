#include "verify/fill_frame_rule.h"

#include "pack/frame_time_check.h"

filldecisionstruct DecideFill(double reference, double frame_time, std::optional<double> next_time,
                              double period, double span_limit) {
  const frametimedecision judged = JudgeFrameTime(reference, frame_time, next_time, period, span_limit);
  filldecisionstruct decision;
  decision.fill_frames = judged.fill_frames > 0 ? judged.fill_frames : 0;
  decision.reference = judged.reference;
  return decision;
}

double FirstFrameReferenceTime(double t0, std::optional<double> t1, std::optional<double> t2,
                               double period, double stop_time, double block_duration) {
  return FirstFrameReference(t0, t1, t2, period, stop_time, block_duration);
}

double FillSpan(double start_time, double stop_time, double block_duration) {
  return FillSpanLimit(start_time, stop_time, block_duration);
}
