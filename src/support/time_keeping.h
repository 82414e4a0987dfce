// Time keeping in day-of-year seconds (January 1, 00:00:00 is 86,400 s):
// rounding helpers, calendar conversions, the local clock, the day-time text
// parser, and the clock classes Ctimeclass and Ctimerclass.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

constexpr double kMaxDayOfYearSeconds = 31708800.0;  // 367 days

// Floor, ceiling and nearest (exact halves go down), limited to the range
// -2,147,483,647 .. 4,294,967,295 (hence the 64-bit result).
int64_t FloorToInt(double value);
int64_t CeilToInt(double value);
int64_t RoundToInt(double value);

bool IsLeapYear(int32_t year);
int32_t DayOfYear(int32_t year, int32_t month, int32_t day);
double LocalTimeOfYear();
double ComposeDayTime(int32_t day, int32_t hour, int32_t minute, int32_t second, int32_t microsecond);
// Parses DDD:HH:MM:SS.ffffff. error: 0 good, 1 day, 2 hour, 3 minute,
// 4 second, 5 fraction; the result is 0 on any error.
double ParseDayTime(const std::string& text, int32_t& error);
double SafePow(double base, double exponent);

class Ctimeclass {
 public:
  Ctimeclass();
  virtual ~Ctimeclass();
  void SetTime(double value);

  double CurrentTime = 0.0;
  double PreviousTime = 0.0;
  bool Valid = false;
  int32_t Year = 0;
  int32_t DayOfYearNumber = 0;
  int32_t Month = 0;
  int32_t WeekOfYear = 0;
  int32_t DayOfYearIndex = 0;
  int32_t Weekday = 0;
  int32_t Hour = 0;
  int32_t Minute = 0;
  int32_t WholeSeconds = 0;
  int32_t Milliseconds = 0;

 private:
  void FillFromCurrentTime();
};

class Ctimerclass : public Ctimeclass {
 public:
  Ctimerclass();
  ~Ctimerclass() override;

  void Calibrate();
  double ElapsedSeconds();
  bool Lock();    // waits at most 30 ms
  void Unlock();
  double GetTime();  // -1.0 when the lock is not obtained
  void UpdateTime();

  double BaseTime = 0.0;
  double CounterPeriod = 0.0;
  double CounterAtCalibration = 0.0;

 private:
  std::timed_mutex get_time_lock_;
  bool lock_held_ = false;  // guards Unlock against a release without Lock
};
