// Decoding of the 10-byte header in front of every minor frame. The recorder
// writes the frame time in BCD digits and a little-endian status word; the
// digits are taken as they are (a digit above 9 is not checked).
#include "archive/frame_header.h"

namespace {

inline int32_t Bcd(uint8_t byte) { return (byte >> 4) * 10 + (byte & 0x0F); }

constexpr uint16_t kSfidMask = 0x3FF;
constexpr uint16_t kStatusFlagA = 1u << 13;
constexpr uint16_t kStatusFlagB = 1u << 14;

}  // namespace

void DecodeFrameHeader(const uint8_t* header_bytes, double& time, int32_t& sfid,
                       int32_t& state_a, int32_t& state_b) {
  const uint8_t* h = header_bytes;
  // Only the low nibble of byte 0 carries a digit: the hundreds of the day.
  int32_t day = (h[0] & 0x0F) * 100 + Bcd(h[1]);
  int32_t hour = Bcd(h[2]);
  int32_t minute = Bcd(h[3]);
  int32_t second = Bcd(h[4]);
  int32_t microseconds = Bcd(h[5]) * 10000 + Bcd(h[6]) * 100 + Bcd(h[7]);
  time = day * 86400.0 + hour * 3600.0 + minute * 60.0 + second + microseconds * 0.000001;

  uint16_t status = static_cast<uint16_t>(h[8] | (h[9] << 8));
  sfid = status & kSfidMask;
  state_a = (status & kStatusFlagA) ? 2 : 1;
  state_b = (status & kStatusFlagB) ? 2 : 1;
}
