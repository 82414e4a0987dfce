// The TMATS date and time texts: MM-DD-YYYY and HH:MM:SS for a year and a
// time in day-of-year seconds.
#include <string>

#include "ch10/tmats_builder.h"
#include "support/text_format.h"
#include "support/time_keeping.h"

namespace {

// Day-of-year number of the first day of the following month, months 1-12.
constexpr int32_t kNextMonthStartCommon[12] = {32,  60,  91,  121, 152, 182,
                                               213, 244, 274, 305, 335, 366};
constexpr int32_t kNextMonthStartLeap[12] = {32,  61,  92,  122, 153, 183,
                                             214, 245, 275, 306, 336, 367};

}  // namespace

void FormatTmatsDate(int32_t year, double seconds, std::string& date, std::string& time) {
  // DDD:HH:MM:SS.sss, already carried at 59.999 s; "XXX:XX:XX:XX.XXX" when
  // out of range, which makes the day 0 and so the date 12-31.
  const std::string day_time = FormatDayTimeMilli(seconds);
  const std::string day_text = day_time.substr(0, 3);
  time = day_time.size() >= 12 ? day_time.substr(4, 8) : std::string("XX:XX:XX");

  int32_t day_number = 0;
  ParseDecimalInt(day_text, day_number);  // a text that is not a number leaves 0

  const int32_t* next_month_start = IsLeapYear(year) ? kNextMonthStartLeap : kNextMonthStartCommon;
  int32_t month = 12;
  for (int32_t i = 0; i < 12; ++i) {
    if (next_month_start[i] > day_number) {
      month = i + 1;
      break;
    }
  }
  int32_t day_of_month =
      month == 1 ? day_number : day_number - next_month_start[month - 2] + 1;
  if (day_of_month == 0) {
    month = 12;
    day_of_month = 31;
  }

  std::string text = PadLeft(2, '0', FormatFixedNumber(2, 0, month)) + "-" +
                     PadLeft(2, '0', FormatFixedNumber(2, 0, day_of_month)) + "-" +
                     FormatFixedNumber(4, 0, year);
  date = ReplaceChar(text, ' ', '0', true);
}
