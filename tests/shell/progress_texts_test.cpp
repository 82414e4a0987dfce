// The progress views' texts: the percentage label and bar of a part of a
// whole, and the fixed day-time text of the start and end labels.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "shell/progress_texts.h"

namespace {

TEST(ProgressTextsTest, PercentageLabelAndBar) {
  struct Case {
    double part, whole;
    const char* text;
    int bar;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {0, 0, "0.00", 0},                // an archive of size 0
      {500, 0, "0.00", 0},
      {10, -4, "0.00", 0},
      {0, 1000, "0.00", 0},
      {1500, 1000, "100.00", 100},      // part above the whole
      {1, 3, "33.33", 33},              // 33.3333 %
      {99999, 100000, "100.00", 99},    // 99.999 %: two decimals round up, the bar does not
      {1000, 1000, "100.00", 100},
      {125, 1000, "12.50", 12},
      {nan, 1000, "Nan", 0},
  };
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.part) + "/" + std::to_string(c.whole);
    const double percent = ProgressPercent(c.part, c.whole);
    EXPECT_EQ(ProgressPercentText(percent), c.text) << name;
    EXPECT_EQ(ProgressBarPosition(percent), c.bar) << name;
  }
}

TEST(ProgressTextsTest, FixedDayTimeText) {
  struct Case {
    double seconds;
    const char* text;
  };
  const Case cases[] = {
      {123 * 86400.0 + 12 * 3600.0 + 34 * 60.0 + 56.0, "123:12:34:56.000000"},
      {86400.0 + 0.5, "001:00:00:00.500000"},
      {0.0, "000:00:00:00.000000"},
      // Seconds that print as 60 stay in their minute (no carry here).
      {86400.0 + 59.9999996, "001:00:00:60.000000"},
      {-1.0, "XXX:XX:XX:XX.XXXXXX"},
      {31708800.5, "XXX:XX:XX:XX.XXXXXX"},
      {std::numeric_limits<double>::infinity(), "XXX:XX:XX:XX.XXXXXX"},
  };
  for (const Case& c : cases) EXPECT_EQ(FixedDayTimeText(c.seconds), c.text) << c.seconds;
}

}  // namespace
