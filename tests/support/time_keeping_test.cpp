#include "support/time_keeping.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <ctime>
#include <thread>

TEST(Rounding, FloorCeilRoundAndLimits) {
  EXPECT_EQ(RoundToInt(2.5), 2);
  EXPECT_EQ(RoundToInt(2.6), 3);
  EXPECT_EQ(RoundToInt(-2.5), -3);
  EXPECT_EQ(RoundToInt(-2.4), -2);
  EXPECT_EQ(FloorToInt(-0.5), -1);
  EXPECT_EQ(CeilToInt(0.1), 1);
  EXPECT_EQ(FloorToInt(-1e12), -2147483647);
  EXPECT_EQ(CeilToInt(1e12), 4294967295);
  EXPECT_EQ(FloorToInt(4294967295.0), 4294967295);
  EXPECT_EQ(FloorToInt(INFINITY), 4294967295);
  EXPECT_EQ(FloorToInt(NAN), 0);
}

TEST(Calendar, LeapYearsAndDayOfYear) {
  EXPECT_EQ(DayOfYear(2012, 3, 1), 61);
  EXPECT_EQ(DayOfYear(2011, 3, 1), 60);
  EXPECT_EQ(DayOfYear(1900, 3, 1), 61);  // the four-year rule
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2012));
  EXPECT_FALSE(IsLeapYear(2011));
  EXPECT_EQ(DayOfYear(2011, 4, 31), 91);
  EXPECT_EQ(DayOfYear(2011, 13, 5), 5);
  EXPECT_EQ(DayOfYear(2011, 0, 5), 5);  // out-of-range months never index outside the table
  EXPECT_EQ(DayOfYear(2011, 2, 29), 32);
  EXPECT_EQ(DayOfYear(2012, 2, 29), 60);
  EXPECT_EQ(DayOfYear(2012, 12, 31), 366);
  EXPECT_EQ(DayOfYear(2011, 12, 32), 335);  // 306 + 28 + 1
}

TEST(ComposeAndParse, DayTimeTexts) {
  int32_t error = -1;
  EXPECT_DOUBLE_EQ(ParseDayTime("123:04:05:06.5", error), 10641906.5);
  EXPECT_EQ(error, 0);
  EXPECT_DOUBLE_EQ(ParseDayTime(" 123 : 04:05:06.5 ", error), 10641906.5);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ParseDayTime("367:00:00:00.0", error), 0.0);
  EXPECT_EQ(error, 1);
  EXPECT_EQ(ParseDayTime("001:24:00:00.0", error), 0.0);
  EXPECT_EQ(error, 2);
  EXPECT_EQ(ParseDayTime("001:02:03", error), 0.0);
  EXPECT_EQ(error, 3);
  EXPECT_EQ(ParseDayTime("001:02:03:04", error), 0.0);
  EXPECT_EQ(error, 4);
  EXPECT_DOUBLE_EQ(ParseDayTime("001:02:03:04.", error), 93784.0);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ParseDayTime(":02:03:04.0", error), 0.0);
  EXPECT_EQ(error, 1);
  EXPECT_EQ(ParseDayTime("001:02:60:04.0", error), 0.0);
  EXPECT_EQ(error, 3);
  EXPECT_EQ(ParseDayTime("001:02:03:04.5x", error), 0.0);
  EXPECT_EQ(error, 5);
  // A fraction that an exponent makes non-finite or a second or more is
  // refused before it becomes an integer.
  for (const char* text : {"123:12:34:56.1e300", "123:12:34:56.1e5", "123:12:34:56.9e1", "123:12:34:56.1e99999"}) {
    EXPECT_EQ(ParseDayTime(text, error), 0.0) << text;
    EXPECT_EQ(error, 5) << text;
  }
  // Only six fraction digits count.
  EXPECT_DOUBLE_EQ(ParseDayTime("000:00:00:01.1234569", error), 1.123456);
  EXPECT_EQ(error, 0);
  EXPECT_DOUBLE_EQ(ParseDayTime("000:00:00:01.000001", error), 1.000001);

  EXPECT_EQ(ComposeDayTime(367, 0, 0, 0, 1), 0.0);
  EXPECT_EQ(ComposeDayTime(367, 0, 0, 0, 0), 31708800.0);
  EXPECT_EQ(ComposeDayTime(0, 0, 0, -1, 0), 0.0);
  EXPECT_DOUBLE_EQ(ComposeDayTime(1, 2, 3, 4, 500000), 93784.5);
}

TEST(SafePow, ErrorsGiveZero) {
  EXPECT_DOUBLE_EQ(SafePow(2, 10), 1024.0);
  EXPECT_EQ(SafePow(-8, 1.0 / 3.0), 0.0);
  EXPECT_EQ(SafePow(10, 400), 0.0);
  EXPECT_EQ(SafePow(0, -1), 0.0);
}

TEST(LocalClock, MatchesTheCalendarOfToday) {
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  double t = LocalTimeOfYear();
  double expected = (local.tm_yday + 1) * 86400.0 + local.tm_hour * 3600.0 + local.tm_min * 60.0 +
                    local.tm_sec;
  EXPECT_NEAR(t, expected, 2.0);
}

TEST(Ctimeclass, SetTimeClampsAndKeepsPrevious) {
  Ctimeclass clock;
  EXPECT_TRUE(clock.Valid);
  EXPECT_GT(clock.CurrentTime, 86400.0 - 1);
  EXPECT_GE(clock.Year, 2000);
  EXPECT_EQ(clock.WeekOfYear, clock.DayOfYearIndex / 7);

  clock.SetTime(123 * 86400.0 + 4 * 3600 + 5 * 60 + 6.5);
  EXPECT_TRUE(clock.Valid);
  EXPECT_EQ(clock.DayOfYearNumber, 123);
  EXPECT_EQ(clock.Hour, 4);
  EXPECT_EQ(clock.Minute, 5);
  EXPECT_EQ(clock.WholeSeconds, 6);
  EXPECT_EQ(clock.Milliseconds, 500);

  double before = clock.CurrentTime;
  clock.SetTime(-5);
  EXPECT_FALSE(clock.Valid);
  EXPECT_EQ(clock.CurrentTime, 0.0);
  EXPECT_EQ(clock.PreviousTime, before);
  clock.SetTime(4e7);
  EXPECT_FALSE(clock.Valid);
  EXPECT_EQ(clock.CurrentTime, kMaxDayOfYearSeconds);
  EXPECT_EQ(clock.PreviousTime, 0.0);
}

TEST(Ctimerclass, FollowsTheCounterFromItsBase) {
  Ctimerclass timer;
  timer.BaseTime = 1000.0;
  double first = timer.GetTime();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  double second = timer.GetTime();
  EXPECT_GE(first, 1000.0);
  EXPECT_GE(second - first, 0.015);
  EXPECT_LT(second - first, 5.0);
  timer.Calibrate();
  EXPECT_NEAR(timer.GetTime(), LocalTimeOfYear(), 1.0);
  timer.UpdateTime();
  EXPECT_TRUE(timer.Valid);
}

TEST(Ctimerclass, GetTimeFailsWhenTheLockIsHeld) {
  Ctimerclass timer;
  std::atomic<bool> locked{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    ASSERT_TRUE(timer.Lock());
    locked = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    timer.Unlock();
  });
  while (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(timer.GetTime(), -1.0);
  release = true;
  holder.join();
  EXPECT_GT(timer.GetTime(), 0.0);
}

TEST(Ctimerclass, ConcurrentReadersAllSucceed) {
  Ctimerclass timer;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        if (timer.GetTime() < 0.000001) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}
