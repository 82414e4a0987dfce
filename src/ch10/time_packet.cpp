// Time packet body: day-format BCD time words.
#include "ch10/time_packet.h"

#include <cmath>
#include <cstring>

#include "support/time_keeping.h"

namespace {

// The floors of the time split stop one below FloorToInt's own limit.
constexpr int64_t kTimeFieldLimit = 4294967294LL;

int64_t FloorTimeField(double value) {
  const int64_t v = FloorToInt(value);
  return v > kTimeFieldLimit ? kTimeFieldLimit : v;
}

uint16_t Digit(int64_t value, int bits, int shift) {
  const uint64_t mask = (uint64_t{1} << bits) - 1;
  return static_cast<uint16_t>((static_cast<uint64_t>(value) & mask) << shift);
}

}  // namespace

void EncodeDayTimeBcd(double archive_time, uint16_t words[3]) {
  words[0] = words[1] = words[2] = 0;
  // A time that is not a number has no digits; encode it as 0 rather than
  // hand NaN or infinity to the integer conversions.
  const double t = std::isfinite(archive_time) ? archive_time : 0.0;

  const int64_t days = FloorTimeField(t / 86400.0);
  double r = t - static_cast<double>(days) * 86400.0;
  const int64_t hours = FloorTimeField(r / 3600.0);
  r -= static_cast<double>(hours) * 3600.0;
  const int64_t minutes = FloorTimeField(r / 60.0);
  r -= static_cast<double>(minutes) * 60.0;
  const int64_t seconds = FloorTimeField(r);
  r -= static_cast<double>(seconds);
  int64_t microseconds = RoundToInt(r * 1000000.0);
  if (microseconds < 0) microseconds = 0;
  // Within half a microsecond of the next second the rounding reaches
  // 1,000,000: that is the next second. Archive times summed packet by
  // packet land there often (56.99999999 for 57 s); written as .99 (or as a
  // hundreds-of-milliseconds digit of 10) the packet would date its data
  // 10 ms early. The carry runs on into minutes, hours and the day.
  int64_t carried_seconds = seconds, carried_minutes = minutes, carried_hours = hours;
  int64_t carried_days = days;
  if (microseconds > 999999) {
    microseconds = 0;
    if (++carried_seconds == 60) {
      carried_seconds = 0;
      if (++carried_minutes == 60) {
        carried_minutes = 0;
        if (++carried_hours == 24) {
          carried_hours = 0;
          ++carried_days;
        }
      }
    }
  }

  const int64_t day_hundreds = carried_days / 100;
  const int64_t day_tens = (carried_days - 100 * day_hundreds) / 10;
  const int64_t day_units = carried_days - 100 * day_hundreds - 10 * day_tens;
  const int64_t ms_hundreds = microseconds / 100000;
  const int64_t ms_tens = (microseconds - 100000 * ms_hundreds) / 10000;

  words[0] = Digit(ms_tens, 4, 0) | Digit(ms_hundreds, 4, 4) | Digit(carried_seconds % 10, 4, 8) |
             Digit(carried_seconds / 10, 3, 12);
  words[1] = Digit(carried_minutes % 10, 4, 0) | Digit(carried_minutes / 10, 3, 4) |
             Digit(carried_hours % 10, 4, 8) | Digit(carried_hours / 10, 2, 12);
  words[2] = Digit(day_units, 4, 0) | Digit(day_tens, 4, 4) | Digit(day_hundreds, 2, 8);
}

uint32_t BuildTimePacketBody(uint8_t* body, bool leap_year, double archive_time) {
  const uint32_t channel_word = kTimeChannelWord | (leap_year ? kTimeChannelWordLeapYear : 0);
  uint16_t words[3];
  EncodeDayTimeBcd(archive_time, words);
  // The output buffer is reused between packets: every byte is written.
  std::memset(body, 0, kTimePacketBodyBytes);
  body[0] = static_cast<uint8_t>(channel_word);
  body[1] = static_cast<uint8_t>(channel_word >> 8);
  for (int i = 0; i < 3; ++i) {
    body[4 + 2 * i] = static_cast<uint8_t>(words[i]);
    body[5 + 2 * i] = static_cast<uint8_t>(words[i] >> 8);
  }
  return kTimePacketBodyBytes;
}
