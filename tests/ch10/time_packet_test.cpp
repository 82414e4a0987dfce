// Time packet body: BCD day-format words, channel-specific word, checksum.
#include "ch10/time_packet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "ch10/ch10_packet.h"
#include "common/ch10_packets.h"
#include "support/time_keeping.h"
#include "verify/ch10_packet_reader.h"

namespace {

struct Words {
  uint16_t w[3];
};

Words Encode(double t) {
  Words out{};
  EncodeDayTimeBcd(t, out.w);
  return out;
}

TEST(DayTimeBcd, Day123) {
  const Words x = Encode(86400.0 * 123 + 45296.789);
  EXPECT_EQ(x.w[0], 0x5678);
  EXPECT_EQ(x.w[1], 0x1234);
  EXPECT_EQ(x.w[2], 0x0123);
}

TEST(DayTimeBcd, Day366LastMillisecond) {
  const Words x = Encode(86400.0 * 366 + 86399.999);
  EXPECT_EQ(x.w[0], 0x5999);
  EXPECT_EQ(x.w[1], 0x2359);
  EXPECT_EQ(x.w[2], 0x0366);
}

TEST(DayTimeBcd, DigitsBelowTenMillisecondsAreDropped) {
  // 12:00:00.0199 keeps 10 ms, not 20.
  EXPECT_EQ(Encode(86400.0 * 5 + 43200.0199).w[0], 0x0001);
  EXPECT_EQ(Encode(86400.0 * 1).w[0], 0x0000);
  EXPECT_EQ(Encode(86400.0 * 1).w[2], 0x0001);
}

TEST(DayTimeBcd, MicrosecondsRoundingToAWholeSecondCarryIntoTheNextSecond) {
  // 00:00:05.9999996 rounds to 1,000,000 us: that is 00:00:06.00, with no
  // digit above 9.
  Words x = Encode(86400.0 * 10 + 5.9999996);
  EXPECT_EQ(x.w[0], 0x0600);
  EXPECT_EQ(x.w[1], 0x0000);
  EXPECT_EQ(x.w[2], 0x0010);
  // The carry runs through minutes and hours into the next day.
  x = Encode(86400.0 * 123 + 86399.9999996);
  EXPECT_EQ(x.w[0], 0x0000);
  EXPECT_EQ(x.w[1], 0x0000);
  EXPECT_EQ(x.w[2], 0x0124);
  x = Encode(86400.0 * 9 + 3599.9999997);  // 00:59:59.9999997
  EXPECT_EQ(x.w[0], 0x0000);
  EXPECT_EQ(x.w[1], 0x0100);
  EXPECT_EQ(x.w[2], 0x0009);
}

TEST(DayTimeBcd, TimesSummedPacketByPacketLandOnTheirSecond) {
  // Ten 0.1 s packets after 56 s sum to just below 57 s in double precision;
  // the time packet written there must read 57.00, not 56.99.
  double t = 86400.0 * 123 + 45296.0;
  for (int i = 0; i < 10; ++i) t += 0.1;
  ASSERT_LT(t, 86400.0 * 123 + 45297.0);
  const Words x = Encode(t);
  EXPECT_EQ(x.w[0], 0x5700);
  EXPECT_EQ(x.w[1], 0x1234);
  EXPECT_EQ(x.w[2], 0x0123);
}

TEST(DayTimeBcd, RandomTimesDecodeBackWithValidDigits) {
  std::mt19937_64 rng(4242);
  std::uniform_real_distribution<double> any_time(0.0, kMaxDayOfYearSeconds);
  std::vector<uint8_t> body(kTimePacketBodyBytes);
  for (int i = 0; i < 20000; ++i) {
    double t = any_time(rng);
    if (i % 7 == 0) t = std::floor(t) + 0.9999996;  // near the rounding edge
    BuildTimePacketBody(body.data(), false, t);
    testutil::Ch10DayTime d;
    ASSERT_TRUE(testutil::DecodeCh10TimeBody(body, d));
    ASSERT_TRUE(d.digits_valid) << t;
    // The text is t, to the nearest microsecond, cut to 10 ms: never more
    // than half a microsecond later, less than 10 ms earlier.
    EXPECT_LE(d.DayOfYearSeconds(), t + 1e-6) << t;
    EXPECT_GT(d.DayOfYearSeconds(), t - 0.010 - 1e-6) << t;
  }
}

TEST(DayTimeBcd, OutOfRangeValuesStayInsideTheirFields) {
  const double odd_values[] = {-1.0, 1e12, 1e300, std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity()};
  for (double t : odd_values) {
    const Words x = Encode(t);
    EXPECT_EQ(x.w[0] & 0x8000, 0) << t;
    EXPECT_EQ(x.w[1] & 0xC080, 0) << t;
    EXPECT_EQ(x.w[2] & 0xFC00, 0) << t;
  }
}

TEST(TimePacketBody, Day123BodyAndChecksum) {
  std::vector<uint8_t> body(kTimePacketBodyBytes, 0xCC);  // stale bytes of a reused buffer
  ASSERT_EQ(BuildTimePacketBody(body.data(), false, 86400.0 * 123 + 45296.789), 64u);
  EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 10),
            (std::vector<uint8_t>{0xF0, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12, 0x23, 0x01}));
  for (size_t i = 10; i < body.size(); ++i) ASSERT_EQ(body[i], 0) << i;

  const ch10trailerstruct t = FillDataChecksum(body.data(), 64);
  EXPECT_EQ(t.Checksum, 0x6ABFu);
  uint8_t trailer[4];
  PlaceTrailer(trailer, t);
  EXPECT_EQ(std::vector<uint8_t>(trailer, trailer + 4),
            (std::vector<uint8_t>{0x00, 0x00, 0xBF, 0x6A}));
}

TEST(TimePacketBody, LeapYearSetsBit8) {
  std::vector<uint8_t> body(kTimePacketBodyBytes);
  const struct {
    int32_t year;
    uint32_t word;
  } cases[] = {{2012, 0x1F0}, {2011, 0x0F0}, {1900, 0x0F0}, {2000, 0x1F0}};
  for (const auto& c : cases) {
    BuildTimePacketBody(body.data(), IsLeapYear(c.year), 86400.0);
    EXPECT_EQ(VerifyLe32(body.data()), c.word) << c.year;
  }
}

}  // namespace
