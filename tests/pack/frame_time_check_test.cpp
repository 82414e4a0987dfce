// The frame time judgement: in step, a damaged stamp kept in place (judged
// by the frame after it, or by the archive's span), or a real move of the
// time base with m - 1 fill frames.
#include "pack/frame_time_check.h"

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr double kRef = 1000.0;  // the previous frame was taken to be here
constexpr double kP = 1.0;       // frame period
constexpr double kWide = 1e6;    // a span limit no step reaches
constexpr int64_t kRoomless = std::numeric_limits<int64_t>::max();  // a budget no fill reaches

TEST(FrameTimeCheck, DecisionsByStepLookAheadSpanAndRoom) {
  struct Case {
    const char* name;
    double time;
    std::optional<double> next;
    double span_limit;
    int64_t room;
    FrameTimeVerdict verdict;
    int64_t fill;
    double reference;
    bool cut;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const int64_t kAll = kRoomless;
  const Case cases[] = {
      {"in step", kRef + 1, kRef + 2, kWide, kAll, FrameTimeVerdict::InStep, 0, kRef + 1, false},
      {"half a period early is in step", kRef + 0.5, kRef + 9, kWide, kAll, FrameTimeVerdict::InStep, 0, kRef + 0.5, false},
      {"half a period late is in step", kRef + 1.5, std::nullopt, kWide, kAll, FrameTimeVerdict::InStep, 0, kRef + 1.5, false},
      // One damaged stamp: the next frame is where this frame's successor belongs.
      {"an hour late", kRef + 3601, kRef + 2, kWide, kAll, FrameTimeVerdict::Damaged, 0, kRef + 1, false},
      {"six seconds early", kRef - 5, kRef + 2, kWide, kAll, FrameTimeVerdict::Damaged, 0, kRef + 1, false},
      {"repeated stamp", kRef, kRef + 2, kWide, kAll, FrameTimeVerdict::Damaged, 0, kRef + 1, false},
      {"next at the upper bound", kRef + 7, kRef + 2.5, kWide, kAll, FrameTimeVerdict::Damaged, 0, kRef + 1, false},
      {"next at the lower bound", kRef + 7, kRef + 1.5, kWide, kAll, FrameTimeVerdict::Damaged, 0, kRef + 1, false},
      {"not a number", nan, kRef + 9, kWide, kAll, FrameTimeVerdict::Damaged, 0, kRef + 1, false},
      // The old time base outweighs the new one where both would fit.
      {"next fits both time bases", kRef + 1.6, kRef + 2.3, kWide, kAll, FrameTimeVerdict::Damaged, 0, kRef + 1, false},
      // Real moves of the time base.
      {"five frames lost", kRef + 6, kRef + 7, kWide, kAll, FrameTimeVerdict::Gap, 5, kRef + 6, false},
      {"one frame lost, the next also lost", kRef + 2, kRef + 4, kWide, kAll, FrameTimeVerdict::Gap, 1, kRef + 2, false},
      {"next just beyond the bound", kRef + 7, kRef + 2.5001, kWide, kAll, FrameTimeVerdict::Gap, 6, kRef + 7, false},
      {"1.5 P and a little is m = 2", kRef + 1.5001, kRef + 9, kWide, kAll, FrameTimeVerdict::Gap, 1, kRef + 1.5001, false},
      {"2.5 P is m = 2", kRef + 2.5, kRef + 9, kWide, kAll, FrameTimeVerdict::Gap, 1, kRef + 2.5, false},
      {"backward with the next after it", kRef - 5, kRef - 4, kWide, kAll, FrameTimeVerdict::Gap, 0, kRef - 5, false},
      {"last frame an hour late", kRef + 3601, std::nullopt, kWide, kAll, FrameTimeVerdict::Gap, 3600, kRef + 3601, false},
      // Unconfirmed steps never longer than the archive's span (either way).
      {"step of exactly the span", kRef + 100, std::nullopt, 100, kAll, FrameTimeVerdict::Gap, 99, kRef + 100, false},
      {"step beyond the span", kRef + 100.25, std::nullopt, 100, kAll, FrameTimeVerdict::Damaged, 0, kRef + 1, false},
      {"unconfirmed beyond the span", kRef + 300, kRef + 305, 100, kAll, FrameTimeVerdict::Damaged, 0, kRef + 1, false},
      // A step the next frame confirms is taken whatever the span says.
      {"an hour back and it stays", kRef - 3600, kRef - 3599, 100, kAll, FrameTimeVerdict::Gap, 0, kRef - 3600, false},
      {"backward beyond the span, confirmed", kRef - 200, kRef - 199, 100, kAll, FrameTimeVerdict::Gap, 0, kRef - 200, false},
      {"confirmed at the lower bound", kRef + 300, kRef + 300.5, 100, kAll, FrameTimeVerdict::Gap, 299, kRef + 300, false},
      {"a day forward and it stays", kRef + 86400, kRef + 86401, 100, kAll, FrameTimeVerdict::Gap, 86399, kRef + 86400, false},
      // The run's budget cuts the fill, never the frame.
      {"cut to the room left", kRef + 86400, kRef + 86401, 100, 40, FrameTimeVerdict::Gap, 40, kRef + 86400, true},
      {"no room left", kRef + 6, kRef + 7, kWide, 0, FrameTimeVerdict::Gap, 0, kRef + 6, true},
      {"exactly the room left", kRef + 6, kRef + 7, kWide, 5, FrameTimeVerdict::Gap, 5, kRef + 6, false},
      {"a backward step needs no room", kRef - 5, kRef - 4, kWide, 0, FrameTimeVerdict::Gap, 0, kRef - 5, false},
  };
  for (const Case& c : cases) {
    const frametimedecision d = JudgeFrameTime(kRef, c.time, c.next, kP, c.span_limit, c.room);
    EXPECT_EQ(d.verdict, c.verdict) << c.name;
    EXPECT_EQ(d.fill_frames, c.fill) << c.name;
    EXPECT_DOUBLE_EQ(d.reference, c.reference) << c.name;
    EXPECT_EQ(d.fill_cut, c.cut) << c.name;
  }
}

// The frames a span holds: the span at the frame rate and one more for
// rounding; fill may take what the archive's own frames leave of them.
TEST(FrameTimeCheck, FrameAndFillBudgets) {
  EXPECT_EQ(FrameBudget(2.0, 0.001), 2001);
  EXPECT_EQ(FrameBudget(2.0005, 0.001), 2002);
  EXPECT_EQ(FrameBudget(1e300, 1e-300), 4000000000000000000LL);  // no overflow
  EXPECT_EQ(FrameBudget(std::numeric_limits<double>::quiet_NaN(), 0.001), 1);
  EXPECT_EQ(FillBudget(2001, 0), 2001);
  EXPECT_EQ(FillBudget(2001, 2000), 1);
  EXPECT_EQ(FillBudget(2001, 5000), 0);
}

TEST(FrameTimeCheck, SpanLimitIsTheArchiveSpanPlusOneBlock) {
  EXPECT_DOUBLE_EQ(FillSpanLimit(100.0, 160.0, 0.5), 60.5);
  EXPECT_DOUBLE_EQ(FillSpanLimit(100.0, 90.0, 0.5), 0.5);  // a stop before the start counts as no span
  EXPECT_DOUBLE_EQ(FillSpanLimit(100.0, std::numeric_limits<double>::infinity(), 0.5), 0.5);
}

// A first stamp further from its successors than the rest of the archive
// lasts is the damaged one.
TEST(FrameTimeCheck, FirstFrameRule) {
  const double stop = kRef + 100, block = 2;  // the rest of the archive: about 103 s from t1
  struct Case {
    const char* name;
    double t0;
    std::optional<double> t1, t2;
    double reference;
  };
  const Case cases[] = {
      {"steady", kRef, kRef + 1, kRef + 2, kRef - 1},
      {"a real gap after the first frame", kRef, kRef + 50, kRef + 51, kRef - 1},
      {"first stamp 200 days early", kRef - 200 * 86400.0, kRef + 1, kRef + 2, kRef - 1},
      {"first stamp an hour late", kRef + 3600, kRef + 1, kRef + 2, kRef - 1},
      {"successors disagree", kRef - 200 * 86400.0, kRef + 1, kRef + 5, kRef - 200 * 86400.0 - 1},
      {"no third frame in the block", kRef - 200 * 86400.0, kRef + 1, std::nullopt, kRef - 200 * 86400.0 - 1},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(FirstFrameReference(c.t0, c.t1, c.t2, kP, stop, block), c.reference) << c.name;
  }
}

}  // namespace

namespace {

// Frame times from a list of steps (seconds), starting at kRef.
std::vector<double> TimesFromSteps(const std::vector<double>& steps) {
  std::vector<double> times{kRef};
  for (double step : steps) times.push_back(times.back() + step);
  return times;
}

TEST(FrameTimeCheck, HeaderRateAgainstTheFirstSteps) {
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
