#include "verify/fill_frame_rule.h"

#include "support/time_keeping.h"

int64_t FillFramesBefore(double previous_frame_time, double frame_time, double frame_period) {
  const double step = frame_time - previous_frame_time;
  const double half = frame_period * 0.5;
  if (step >= frame_period - half && step <= frame_period + half) return 0;
  const int64_t periods = RoundToInt(step / frame_period);
  return periods >= 2 ? periods - 1 : 0;
}
