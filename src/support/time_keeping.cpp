// Time keeping in day-of-year seconds. The monotonic steady clock stands in
// for a performance counter; the 1 ms timer-resolution requests of other
// systems are not needed here.
#include "support/time_keeping.h"

#include <cmath>
#include <ctime>

#include "support/text_format.h"

namespace {

constexpr double kLowestInt = -2147483647.0;
constexpr double kHighestInt = 4294967295.0;

int64_t ClampToIntRange(double value) {
  if (std::isnan(value)) return 0;
  if (value < kLowestInt) return static_cast<int64_t>(kLowestInt);
  if (value > kHighestInt) return static_cast<int64_t>(kHighestInt);
  return static_cast<int64_t>(value);
}

struct LocalClockReading {
  struct tm calendar;
  int milliseconds;
};

LocalClockReading ReadLocalClock() {
  LocalClockReading reading{};
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  time_t seconds = now.tv_sec;
  if (localtime_r(&seconds, &reading.calendar) == nullptr) reading.calendar = tm{};
  reading.milliseconds = static_cast<int>(now.tv_nsec / 1000000);
  return reading;
}

double SteadyCounterNow() {
  return static_cast<double>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(
          std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

int64_t FloorToInt(double value) { return ClampToIntRange(std::floor(value)); }

int64_t CeilToInt(double value) { return ClampToIntRange(std::ceil(value)); }

int64_t RoundToInt(double value) {
  int64_t f = FloorToInt(value);
  int64_t c = CeilToInt(value);
  return (value - static_cast<double>(f)) > (static_cast<double>(c) - value) ? c : f;
}

bool IsLeapYear(int32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int32_t DayOfYear(int32_t year, int32_t month, int32_t day) {
  // Days before each month, February not counted.
  static const int32_t kDaysBefore[12] = {0, 31, 31, 62, 92, 123, 153, 184, 215, 245, 276, 306};
  // The simple four-year rule decides February here.
  int32_t february = (year % 4 == 0) ? 29 : 28;
  if (month > 12 || month < 1) month = 1;
  if (month == 2) {
    if (day > february) day = 1;
  } else if (month == 4 || month == 6 || month == 9 || month == 11) {
    if (day > 30) day = 1;
  } else if (day > 31) {
    day = 1;
  }
  return kDaysBefore[month - 1] + (month > 2 ? february : 0) + day;
}

double LocalTimeOfYear() {
  LocalClockReading now = ReadLocalClock();
  const struct tm& c = now.calendar;
  double t = static_cast<double>(DayOfYear(c.tm_year + 1900, c.tm_mon + 1, c.tm_mday)) * 86400.0 +
             c.tm_hour * 3600.0 + c.tm_min * 60.0 + c.tm_sec + now.milliseconds * 0.001;
  if (t < 0.0 || t > kMaxDayOfYearSeconds) t = 0.0;
  return t;
}

double ComposeDayTime(int32_t day, int32_t hour, int32_t minute, int32_t second,
                      int32_t microsecond) {
  double t = day * 86400.0 + hour * 3600.0 + minute * 60.0 + second + microsecond * 0.000001;
  if (t < 0.0 || t > kMaxDayOfYearSeconds) return 0.0;
  return t;
}

double ParseDayTime(const std::string& text, int32_t& error) {
  struct Field {
    const char* delimiter;
    int32_t low;
    int32_t high;
  };
  static const Field kFields[4] = {{":", 0, 366}, {":", 0, 23}, {":", 0, 59}, {".", 0, 59}};
  error = 0;
  std::string rest = RemoveChar(' ', text);
  int32_t values[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    const Field& f = kFields[i];
    if (rest.find(f.delimiter) == std::string::npos) {
      error = i + 1;
      return 0.0;
    }
    std::string field = TextBefore(rest, f.delimiter);
    if (field.empty()) {
      error = i + 1;
      return 0.0;
    }
    ParseDecimalInt(field, values[i]);  // a non-number reads as what was parsed (0)
    if (values[i] < f.low || values[i] > f.high) {
      error = i + 1;
      return 0.0;
    }
    rest = TextAfter(rest, f.delimiter);
  }
  int32_t microseconds = 0;
  if (!rest.empty()) {
    double fraction = 0.0;
    // "0." + the digits after the point is a fraction of a second; an
    // exponent could make it anything ("56.1e300"), which must not reach
    // the integer conversion.
    if (!ParseFloatText(PadRight(8, '0', "0." + rest), fraction) || !std::isfinite(fraction) ||
        fraction < 0.0 || fraction >= 1.0) {
      error = 5;
      return 0.0;
    }
    microseconds = static_cast<int32_t>(std::floor(fraction * 1000000.0 + 0.5));
  }
  return ComposeDayTime(values[0], values[1], values[2], values[3], microseconds);
}

double SafePow(double base, double exponent) {
  double result = std::pow(base, exponent);
  if (!std::isfinite(result)) return 0.0;
  return result;
}

Ctimeclass::Ctimeclass() {
  LocalClockReading now = ReadLocalClock();
  Year = now.calendar.tm_year + 1900;
  Month = now.calendar.tm_mon;
  DayOfYearIndex = now.calendar.tm_yday;
  WeekOfYear = now.calendar.tm_yday / 7;
  Weekday = now.calendar.tm_wday;
  SetTime(LocalTimeOfYear());
}

Ctimeclass::~Ctimeclass() = default;

void Ctimeclass::SetTime(double value) {
  PreviousTime = CurrentTime;
  if (!(value >= 0.0)) {  // below 0, or not a number
    Valid = false;
    CurrentTime = 0.0;
  } else if (value > kMaxDayOfYearSeconds) {
    Valid = false;
    CurrentTime = kMaxDayOfYearSeconds;
  } else {
    Valid = true;
    CurrentTime = value;
  }
  FillFromCurrentTime();
}

void Ctimeclass::FillFromCurrentTime() {
  int32_t day, hour, minute;
  double seconds;
  SplitDayTime(CurrentTime, day, hour, minute, seconds);
  DayOfYearNumber = day;
  Hour = hour;
  Minute = minute;
  double whole = std::floor(seconds);
  WholeSeconds = static_cast<int32_t>(whole);
  Milliseconds = static_cast<int32_t>(RoundToInt((seconds - whole) * 1000.0));
}

Ctimerclass::Ctimerclass() {
  Calibrate();
  UpdateTime();
}

Ctimerclass::~Ctimerclass() { Unlock(); }

void Ctimerclass::Calibrate() {
  CounterPeriod = 1e-9;  // the counter ticks in nanoseconds
  CounterAtCalibration = SteadyCounterNow();
  BaseTime = LocalTimeOfYear();
}

double Ctimerclass::ElapsedSeconds() {
  return std::fabs(SteadyCounterNow() - CounterAtCalibration) * CounterPeriod;
}

bool Ctimerclass::Lock() {
  if (!get_time_lock_.try_lock_for(std::chrono::milliseconds(30))) return false;
  lock_held_ = true;
  return true;
}

void Ctimerclass::Unlock() {
  if (!lock_held_) return;
  lock_held_ = false;
  get_time_lock_.unlock();
}

double Ctimerclass::GetTime() {
  if (!Lock()) return -1.0;
  double t = BaseTime + ElapsedSeconds();
  Unlock();
  return t;
}

void Ctimerclass::UpdateTime() { SetTime(GetTime()); }
