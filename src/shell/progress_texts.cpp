#include "shell/progress_texts.h"

#include "support/text_format.h"
#include "support/time_keeping.h"

double ProgressPercent(double part, double whole) {
  double percent = whole > 0.0 ? part / whole * 100.0 : 0.0;
  return percent > 100.0 ? 100.0 : percent;
}

std::string ProgressPercentText(double percent) { return FormatFixedNumber(16, 2, percent); }

int ProgressBarPosition(double percent) {
  int64_t position = FloorToInt(percent);
  if (position < 0) return 0;
  return position > 100 ? 100 : static_cast<int>(position);
}

std::string FixedDayTimeText(double day_seconds) {
  int32_t day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  if (!SplitDayTime(day_seconds, day, hour, minute, seconds)) return "XXX:XX:XX:XX.XXXXXX";
  return FormatDayTimeFields(day, hour, minute, seconds, 6);
}
