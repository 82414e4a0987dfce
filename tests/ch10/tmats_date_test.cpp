// FormatTmatsDate: calendar dates from day-of-year seconds, the fixed texts
// for out-of-range times, the year's field width and the seconds carry.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "ch10/tmats_builder.h"

namespace {

constexpr double kDay = 86400.0;

struct DateTime {
  std::string date;
  std::string time;
};

DateTime Format(int32_t year, double seconds) {
  DateTime result;
  FormatTmatsDate(year, seconds, result.date, result.time);
  return result;
}

TEST(TmatsDate, CalendarDatesFromDayOfYear) {
  EXPECT_EQ(Format(2024, kDay).date, "01-01-2024");
  EXPECT_EQ(Format(2024, kDay).time, "00:00:00");
  EXPECT_EQ(Format(2024, 60 * kDay).date, "02-29-2024");
  EXPECT_EQ(Format(2023, 60 * kDay).date, "03-01-2023");
  EXPECT_EQ(Format(2023, 59 * kDay).date, "02-28-2023");
  EXPECT_EQ(Format(2024, 366 * kDay).date, "12-31-2024");
  EXPECT_EQ(Format(2023, 365 * kDay).date, "12-31-2023");
  EXPECT_EQ(Format(2026, 342 * kDay + 19 * 60 + 21.25).date, "12-08-2026");
  EXPECT_EQ(Format(2026, 342 * kDay + 19 * 60 + 21.25).time, "00:19:21");
  // Century years follow the Gregorian rule.
  EXPECT_EQ(Format(1900, 60 * kDay).date, "03-01-1900");
  EXPECT_EQ(Format(2000, 60 * kDay).date, "02-29-2000");
}

TEST(TmatsDate, DaysOutsideTheCalendar) {
  // Day 366 of a common year runs past December 31.
  EXPECT_EQ(Format(2023, 366 * kDay).date, "12-32-2023");
  // Day 0 (a time below 86400) becomes December 31 of the same year.
  EXPECT_EQ(Format(2024, 43200.0).date, "12-31-2024");
  EXPECT_EQ(Format(2024, 43200.0).time, "12:00:00");
}

TEST(TmatsDate, TimesOutOfRangeGiveTheFixedTexts) {
  const double bad[] = {-0.001, -86400.0, 31708800.001, 1e12,
                        std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  for (double seconds : bad) {
    DateTime result = Format(2025, seconds);
    EXPECT_EQ(result.date, "12-31-2025") << seconds;
    EXPECT_EQ(result.time, "XX:XX:XX") << seconds;
  }
  // The last valid time is still a date.
  EXPECT_EQ(Format(2024, 31708800.0).time, "00:00:00");
}

TEST(TmatsDate, YearFieldIsCutToFourCharactersAndNeverPadded) {
  EXPECT_EQ(Format(12345, kDay).date, "01-01-1234");
  EXPECT_EQ(Format(999, kDay).date, "01-01-999");
  EXPECT_EQ(Format(5, kDay).date, "01-01-5");
}

TEST(TmatsDate, SecondsRollOverBeforeTheCut) {
  const double at = 200 * kDay + 10 * 3600 + 15 * 60;
  EXPECT_EQ(Format(2024, at + 59.9995).time, "10:16:00");
  EXPECT_EQ(Format(2024, at + 59.998).time, "10:15:59");
  // The carry can reach the next day, and so the next date.
  DateTime midnight = Format(2023, 31 * kDay + 86399.9995);
  EXPECT_EQ(midnight.time, "00:00:00");
  EXPECT_EQ(midnight.date, "02-01-2023");
}

}  // namespace
