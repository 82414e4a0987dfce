// The header's frame rate checked against the first frame steps: a few lost
// frames or damaged stamps never contradict it, a steady rate of its own does.
#include "archive/frame_rate_check.h"

#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr double kRef = 1000.0;  // the first frame time

// Frame times from a list of steps (seconds), starting at kRef.
std::vector<double> TimesFromSteps(const std::vector<double>& steps) {
  std::vector<double> times{kRef};
  for (double step : steps) times.push_back(times.back() + step);
  return times;
}

TEST(FrameRateCheck, HeaderRateAgainstTheFirstSteps) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> steady(1024, 0.001);
  std::vector<double> every_other_lost(200, 0.002);
  std::vector<double> every_third_kept(200, 0.003);
  std::vector<double> stopped_clock(200, 0.0);
  std::vector<double> damaged = steady;
  damaged[10] = 3600.0;
  damaged[11] = -3599.999;
  std::vector<double> no_steady_rate;
  for (int i = 0; i < 200; ++i) no_steady_rate.push_back(0.001 * (1 + i % 7) * (1 + i % 3));
  struct Case {
    const char* name;
    std::vector<double> steps;
    double header_rate;
    bool contradicted;
    double shown_rate;
  };
  const Case cases[] = {
      {"the recorded rate", steady, 1000.0, false, 0},
      {"twice the recorded rate (every step 2 P)", steady, 2000.0, false, 0},
      {"half the recorded rate (every step P / 2)", steady, 500.0, false, 0},
      {"every other frame lost", every_other_lost, 1000.0, false, 0},
      {"damaged stamps among steady ones", damaged, 1000.0, false, 0},
      {"1e9 Hz over 1 ms steps", steady, 1e9, true, 1000.0},
      {"1e300 Hz over 1 ms steps", steady, 1e300, true, 1000.0},
      {"a rate far too low", steady, 0.01, true, 1000.0},
      {"2.1 times the recorded rate", steady, 2100.0, true, 1000.0},
      {"all but every third frame lost", every_third_kept, 1000.0, true, 1000.0 / 3},
      {"damaged stamps under a wrong rate", damaged, 1e6, true, 1000.0},
      {"a stopped clock shows no rate", stopped_clock, 1e9, false, 0},
      {"steps without a steady rate", no_steady_rate, 1e9, false, 0},
      {"three steps are enough", {0.001, 0.001, 0.001}, 1e9, true, 1000.0},
      {"two steps are too few", {0.001, 0.001}, 1e9, false, 0},
      {"steps that are not numbers", {nan, nan, nan, nan}, 1e9, false, 0},
  };
  for (const Case& c : cases) {
    const std::vector<double> times = TimesFromSteps(c.steps);
    const frameratecheckstruct check =
        CheckHeaderFrameRate(times.data(), static_cast<int64_t>(times.size()), c.header_rate);
    EXPECT_EQ(check.contradicted, c.contradicted) << c.name;
    if (c.contradicted) {
      EXPECT_NEAR(check.shown_rate, c.shown_rate, c.shown_rate * 1e-6) << c.name;
    }
  }
}

}  // namespace
