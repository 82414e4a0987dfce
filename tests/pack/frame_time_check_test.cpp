// The frame time judgement: in step, a damaged stamp kept in place (judged
// by the frame after it, or by the archive's span), or a real move of the
// time base with m - 1 fill frames.
#include "pack/frame_time_check.h"

#include <cmath>
#include <limits>
#include <optional>

#include <gtest/gtest.h>

namespace {

constexpr double kRef = 1000.0;  // the previous frame was taken to be here
constexpr double kP = 1.0;       // frame period
constexpr double kWide = 1e6;    // a span limit no step reaches

TEST(FrameTimeCheck, DecisionsByStepLookAheadAndSpan) {
  struct Case {
    const char* name;
    double time;
    std::optional<double> next;
    double span_limit;
    FrameTimeVerdict verdict;
    int64_t fill;
    double reference;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"in step", kRef + 1, kRef + 2, kWide, FrameTimeVerdict::InStep, 0, kRef + 1},
      {"half a period early is in step", kRef + 0.5, kRef + 9, kWide, FrameTimeVerdict::InStep, 0, kRef + 0.5},
      {"half a period late is in step", kRef + 1.5, std::nullopt, kWide, FrameTimeVerdict::InStep, 0, kRef + 1.5},
      // One damaged stamp: the next frame is where this frame's successor belongs.
      {"an hour late", kRef + 3601, kRef + 2, kWide, FrameTimeVerdict::Damaged, 0, kRef + 1},
      {"six seconds early", kRef - 5, kRef + 2, kWide, FrameTimeVerdict::Damaged, 0, kRef + 1},
      {"repeated stamp", kRef, kRef + 2, kWide, FrameTimeVerdict::Damaged, 0, kRef + 1},
      {"next at the upper bound", kRef + 7, kRef + 2.5, kWide, FrameTimeVerdict::Damaged, 0, kRef + 1},
      {"next at the lower bound", kRef + 7, kRef + 1.5, kWide, FrameTimeVerdict::Damaged, 0, kRef + 1},
      {"not a number", nan, kRef + 9, kWide, FrameTimeVerdict::Damaged, 0, kRef + 1},
      // Real moves of the time base.
      {"five frames lost", kRef + 6, kRef + 7, kWide, FrameTimeVerdict::Gap, 5, kRef + 6},
      {"one frame lost, the next also lost", kRef + 2, kRef + 4, kWide, FrameTimeVerdict::Gap, 1, kRef + 2},
      {"next just beyond the bound", kRef + 7, kRef + 2.5001, kWide, FrameTimeVerdict::Gap, 6, kRef + 7},
      {"1.5 P and a little is m = 2", kRef + 1.5001, kRef + 9, kWide, FrameTimeVerdict::Gap, 1, kRef + 1.5001},
      {"2.5 P is m = 2", kRef + 2.5, kRef + 9, kWide, FrameTimeVerdict::Gap, 1, kRef + 2.5},
      {"backward with the next after it", kRef - 5, kRef - 4, kWide, FrameTimeVerdict::Gap, 0, kRef - 5},
      {"last frame an hour late", kRef + 3601, std::nullopt, kWide, FrameTimeVerdict::Gap, 3600, kRef + 3601},
      // Never a step longer than the archive's span (either way).
      {"step of exactly the span", kRef + 100, std::nullopt, 100, FrameTimeVerdict::Gap, 99, kRef + 100},
      {"step beyond the span", kRef + 100.25, std::nullopt, 100, FrameTimeVerdict::Damaged, 0, kRef + 1},
      {"backward beyond the span", kRef - 200, kRef - 199, 100, FrameTimeVerdict::Damaged, 0, kRef + 1},
  };
  for (const Case& c : cases) {
    const frametimedecision d = JudgeFrameTime(kRef, c.time, c.next, kP, c.span_limit);
    EXPECT_EQ(d.verdict, c.verdict) << c.name;
    EXPECT_EQ(d.fill_frames, c.fill) << c.name;
    EXPECT_DOUBLE_EQ(d.reference, c.reference) << c.name;
  }
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
