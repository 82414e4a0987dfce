// Day-of-year time texts (DDD:HH:MM:SS.sss) and the split of day-of-year
// seconds into their fields.
#include "support/day_time_text.h"

#include <charconv>
#include <cmath>

#include "support/number_text.h"

namespace {

// Two-digit (at least) decimal field, zero-filled: "%02d" and "%03d".
void AppendZeroFilled(std::string& text, int32_t value, int width) {
  char buf[16];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
  const size_t n = static_cast<size_t>(r.ptr - buf);
  const bool negative = value < 0;
  if (negative) text.push_back('-');
  const size_t digits = n - (negative ? 1 : 0);
  const size_t room = static_cast<size_t>(width) - (negative ? 1 : 0);
  if (digits < room) text.append(room - digits, '0');
  text.append(buf + (negative ? 1 : 0), digits);
}

}  // namespace

std::string FormatDayTimeFields(int32_t day, int32_t hour, int32_t minute, double seconds,
                                int decimals) {
  std::string text;
  text.reserve(24);
  AppendZeroFilled(text, day, 3);
  text.push_back(':');
  AppendZeroFilled(text, hour, 2);
  text.push_back(':');
  AppendZeroFilled(text, minute, 2);
  text.push_back(':');
  // "%0N.Df": the seconds zero-filled to two integer digits.
  const std::string digits = FixedDigits(seconds, decimals);
  const size_t width = static_cast<size_t>(decimals) + 3;
  if (!digits.empty() && digits[0] != '-' && digits.size() < width) {
    text.append(width - digits.size(), '0');
  }
  text += digits;
  return text;
}
namespace {

// Seconds at or above the threshold become 0 of the next minute; a minute
// of 60 and an hour of 24 carry on.
void CarryIntoNextMinute(double threshold, int32_t& day, int32_t& hour, int32_t& minute,
                         double& seconds) {
  if (seconds >= threshold) {
    seconds = 0.0;
    ++minute;
  }
  if (minute >= 60) {
    minute = 0;
    ++hour;
  }
  if (hour >= 24) {
    hour = 0;
    ++day;
  }
}

}  // namespace

bool SplitDayTime(double value, int32_t& day, int32_t& hour, int32_t& minute, double& seconds) {
  if (!std::isfinite(value) || value < 0.0 || value > 31708800.0) {
    day = hour = minute = 0;
    seconds = 0.0;
    return false;
  }
  double d = std::floor(value / 86400.0);
  double r = value - d * 86400.0;
  double h = std::floor(r / 3600.0);
  r -= h * 3600.0;
  double m = std::floor(r / 60.0);
  seconds = r - m * 60.0;
  day = static_cast<int32_t>(d);
  hour = static_cast<int32_t>(h);
  minute = static_cast<int32_t>(m);
  CarryIntoNextMinute(60.0, day, hour, minute, seconds);
  return true;
}

namespace {

// Shared body of the two day-time texts: the seconds at or above the
// threshold carry into the next minute so the text never shows "60".
std::string FormatDayTime(double value, double threshold, int decimals, const char* failure) {
  int32_t day, hour, minute;
  double seconds;
  if (!SplitDayTime(value, day, hour, minute, seconds)) return failure;
  CarryIntoNextMinute(threshold, day, hour, minute, seconds);
  return FormatDayTimeFields(day, hour, minute, seconds, decimals);
}

}  // namespace

std::string FormatDayTimeMicro(double value) {
  return FormatDayTime(value, 59.999999, 6, "XXX:XX:XX:XX.XXXXXX");
}

std::string FormatDayTimeMilli(double value) {
  return FormatDayTime(value, 59.999, 3, "XXX:XX:XX:XX.XXX");
}
