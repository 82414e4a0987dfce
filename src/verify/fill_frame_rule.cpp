#include "verify/fill_frame_rule.h"

#include "support/time_keeping.h"

filldecisionstruct DecideFill(double reference, double frame_time, std::optional<double>,
                              double period, double) {
  filldecisionstruct decision;
  decision.reference = frame_time;
  const double step = frame_time - reference;
  const double half = period * 0.5;
  if (step >= period - half && step <= period + half) return decision;
  const int64_t periods = RoundToInt(step / period);
  decision.fill_frames = periods >= 2 ? periods - 1 : 0;
  return decision;
}

double FirstFrameReferenceTime(double t0, std::optional<double>, std::optional<double>,
                               double period, double, double) {
  return t0 - period;
}
