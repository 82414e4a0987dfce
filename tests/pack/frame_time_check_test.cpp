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
