// The header's frame rate against the steps of the first frame times.
#include "archive/frame_rate_check.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

bool WithinHalf(double value, double target, double half) { return std::fabs(value - target) <= half; }

constexpr double kRateSlack = 0.01;

}  // namespace

frameratecheckstruct CheckHeaderFrameRate(const double* times, int64_t count, double header_rate) {
  frameratecheckstruct result;
  if (count < 4 || !(header_rate > 0.0)) return result;
  result.steps = count - 1;
  const double period = 1.0 / header_rate;
  std::vector<double> positive;
  positive.reserve(static_cast<size_t>(result.steps));
  for (int64_t i = 1; i < count; ++i) {
    const double step = times[i] - times[i - 1];
    // One step near the period is enough: the rate is the recorded one.
    // (The bounds allow for the rounding of times of the year: a step of
    // one microsecond is known to a fraction of a percent.)
    if (step >= period * 0.5 * (1.0 - kRateSlack) && step <= period * 2.0 * (1.0 + kRateSlack)) return result;
    if (step > 0.0 && std::isfinite(step)) positive.push_back(step);
  }
  if (positive.empty()) return result;
  auto middle = positive.begin() + static_cast<std::ptrdiff_t>(positive.size() / 2);
  std::nth_element(positive.begin(), middle, positive.end());
  const double typical = *middle;
  int64_t agreeing = 0;
  for (int64_t i = 1; i < count; ++i) {
    if (WithinHalf(times[i] - times[i - 1], typical, typical * 0.5)) ++agreeing;
  }
  if (agreeing * 2 < result.steps) return result;
  result.contradicted = true;
  result.shown_rate = 1.0 / typical;
  return result;
}
