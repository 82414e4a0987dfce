// Time packets (Time Data, Format 1, day format): the archive time of day
// in binary-coded decimal, tied to the relative time counter of the
// packet's own header.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kTimePacketBodyBytes = 64;
constexpr uint32_t kTimeChannelWord = 0x000000F0;  // internal time source, day format
constexpr uint32_t kTimeChannelWordLeapYear = 0x00000100;

// Splits day-of-year seconds into day, hours, minutes, seconds and
// milliseconds (hundreds and tens only) and packs the digits into the three
// BCD time words. Microseconds that round up to a whole second are held at
// 999,999 so that no digit exceeds 9; no carry is made between fields.
void EncodeDayTimeBcd(double archive_time, uint16_t words[3]);

// Writes the 64-byte time packet body at body: the channel-specific word
// (0xF0, or 0x1F0 in a leap year), the three time words and 54 zero bytes.
// Returns the body length.
uint32_t BuildTimePacketBody(uint8_t* body, bool leap_year, double archive_time);
