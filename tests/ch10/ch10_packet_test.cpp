// Packet framing: header bytes, relative time counter, checksums, trailer
// filler and the packet write.
#include "ch10/ch10_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/ch10_packets.h"
#include "common/test_helpers.h"
#include "support/platform_file.h"
#include "verify/ch10_packet_reader.h"

namespace {

std::vector<uint8_t> HeaderBytes(const ch10headerstruct& h) {
  return std::vector<uint8_t>(h.Bytes, h.Bytes + kCh10HeaderBytes);
}

TEST(Ch10Header, FirstTimePacketHeaderBytes) {
  ch10headerstruct h;
  BuildCh10Header(h, kTimeChannelId, 92, 0, kTimeDataType, kCh10PacketFlags, 0, 64);
  const std::vector<uint8_t> expected = {0x25, 0xEB, 0x01, 0x00, 0x5C, 0x00, 0x00, 0x00,
                                         0x40, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x11,
                                         0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC7, 0xFC};
  EXPECT_EQ(HeaderBytes(h), expected);
  EXPECT_EQ(h.HeaderChecksum, 0xFCC7);
  EXPECT_EQ(h.SyncPattern, 0xEB25);
  EXPECT_EQ(h.DataTypeVersion, 0x03);
}

TEST(Ch10Header, TmatsHeaderWith104ByteBody) {
  ch10headerstruct h;
  BuildCh10Header(h, kTmatsChannelId, 132, 0, kTmatsDataType, kCh10PacketFlags, 0, 104);
  const std::vector<uint8_t> expected = {0x25, 0xEB, 0x00, 0x00, 0x84, 0x00, 0x00, 0x00,
                                         0x68, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x01,
                                         0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0xED};
  EXPECT_EQ(HeaderBytes(h), expected);
}

TEST(Ch10Header, ChecksumCoversTheFinishedFields) {
  ch10headerstruct h;
  BuildCh10Header(h, kPcmChannelId, 262176, SecondsToRtc(1234.5678), kPcmDataType,
                  kCh10PacketFlags, 201, 262148);
  EXPECT_EQ(h.Bytes[13], 201);
  EXPECT_EQ(h.Bytes[15], 0x09);
  EXPECT_EQ(VerifyLe16(h.Bytes + 22), VerifyChecksum16(h.Bytes, 22));
}

TEST(Ch10RelativeTime, OneAndAHalfSeconds) {
  EXPECT_EQ(SecondsToRtc(1.5), 15000000u);
  ch10headerstruct h;
  BuildCh10Header(h, kPcmChannelId, 32, SecondsToRtc(1.5), kPcmDataType, kCh10PacketFlags, 0, 4);
  const std::vector<uint8_t> rtc(h.Bytes + 16, h.Bytes + 22);
  EXPECT_EQ(rtc, (std::vector<uint8_t>{0xC0, 0xE1, 0xE4, 0x00, 0x00, 0x00}));
}

TEST(Ch10RelativeTime, FiveHundredSecondsUsesTheUpperWord) {
  EXPECT_EQ(SecondsToRtc(500.0), 5000000000u);
  ch10headerstruct h;
  BuildCh10Header(h, kPcmChannelId, 32, SecondsToRtc(500.0), kPcmDataType, kCh10PacketFlags, 0,
                  4);
  EXPECT_EQ(VerifyLe32(h.Bytes + 16), 0x2A05F200u);
  EXPECT_EQ(VerifyLe16(h.Bytes + 20), 0x0001);
  EXPECT_EQ(h.RtcLow, 0x2A05F200u);
  EXPECT_EQ(h.RtcHigh, 0x0001);
}

TEST(Ch10RelativeTime, WholeTicksOnlyAndSafeForAnyValue) {
  EXPECT_EQ(SecondsToRtc(0.0), 0u);
  EXPECT_EQ(SecondsToRtc(0.099968), 999680u);
  EXPECT_EQ(SecondsToRtc(1.23456789e-7), 1u);  // partial ticks are dropped
  EXPECT_EQ(SecondsToRtc(-1.0), 0u);
  EXPECT_EQ(SecondsToRtc(std::numeric_limits<double>::quiet_NaN()), 0u);
  EXPECT_EQ(SecondsToRtc(std::numeric_limits<double>::infinity()), 0u);
  // Near the top of the 48-bit range (a double there resolves ~0.03 ticks).
  EXPECT_NEAR(static_cast<double>(SecondsToRtc(28147497.6710654)),
              static_cast<double>(kRtcMask) - 1.0, 2.0);
  // Beyond 48 bits the count wraps instead of spilling into other fields.
  EXPECT_NEAR(static_cast<double>(SecondsToRtc(28147497.6710656 + 0.5)), 5000000.0, 2.0);
  EXPECT_LE(SecondsToRtc(1e300), kRtcMask);
  ch10headerstruct h;
  BuildCh10Header(h, kPcmChannelId, 32, ~uint64_t{0}, kPcmDataType, kCh10PacketFlags, 0, 4);
  EXPECT_EQ(h.RtcHigh, 0xFFFF);
  EXPECT_EQ(h.Bytes[22] | (h.Bytes[23] << 8), h.HeaderChecksum);
}

TEST(Ch10Checksum, SumKeepsOnlyTheLow16Bits) {
  const uint8_t bytes[] = {0xFF, 0xFF, 0x02, 0x00, 0x00, 0x80, 0x00, 0x80};
  // 0xFFFF + 0x0002 + 0x8000 + 0x8000 = 0x20001 -> 0x0001
  EXPECT_EQ(Ch10Checksum16(bytes, sizeof bytes), 0x0001);
  // Past 2^32 in a 32-bit running sum: 131,072 words of 0xFFFF.
  std::vector<uint8_t> big(262144, 0xFF);
  EXPECT_EQ(Ch10Checksum16(big.data(), big.size()),
            VerifyChecksum16(big.data(), big.size()));
  EXPECT_EQ(Ch10Checksum16(big.data(), big.size()), static_cast<uint16_t>(131072u * 0xFFFFu));
}

TEST(Ch10Checksum, OddLengthEndsWithALowByte) {
  const uint8_t bytes[] = {0x01, 0x02, 0x03};
  EXPECT_EQ(Ch10Checksum16(bytes, 3), 0x0201 + 0x0003);
  EXPECT_EQ(Ch10Checksum16(bytes, 1), 0x0001);
  EXPECT_EQ(Ch10Checksum16(bytes, 0), 0x0000);
}

TEST(Ch10Checksum, EqualsTheWordByWordSumForEveryLengthAndAlignment) {
  // The bulk is summed in wide lanes and the rest word by word: every split
  // between the two, odd lengths and bodies at odd addresses must give the
  // plain sum.
  std::mt19937 rng(20240517);
  std::vector<uint8_t> area(300 + 16);
  for (int round = 0; round < 4; ++round) {
    for (uint8_t& b : area) b = static_cast<uint8_t>(rng());
    if (round == 3) std::fill(area.begin(), area.end(), 0xFF);  // every lane wraps
    for (size_t offset : {0, 1, 2, 3, 5, 8, 15}) {
      for (size_t length = 0; length <= 300; ++length) {
        const uint8_t* bytes = area.data() + offset;
        ASSERT_EQ(Ch10Checksum16(bytes, length), VerifyChecksum16(bytes, length))
            << "round " << round << " offset " << offset << " length " << length;
      }
    }
  }
  // A full-size PCM body (262,148 bytes) at an odd address.
  std::vector<uint8_t> body(262148 + 1);
  for (uint8_t& b : body) b = static_cast<uint8_t>(rng());
  EXPECT_EQ(Ch10Checksum16(body.data() + 1, 262148),
            VerifyChecksum16(body.data() + 1, 262148));
  EXPECT_EQ(Ch10Checksum16(body.data() + 1, 262147),
            VerifyChecksum16(body.data() + 1, 262147));
}

TEST(Ch10Checksum, CopyAndSumEqualsMemcpyThenSumForEveryLengthAndAlignment) {
  // Source and destination at every mix of odd and even addresses, every
  // split between the wide blocks and the rest, odd lengths: the copy is
  // exact, nothing around the destination is touched, and the sum is that
  // of the source.
  std::mt19937 rng(20261208);
  std::vector<uint8_t> source(300 + 8);
  for (int round = 0; round < 3; ++round) {
    for (uint8_t& b : source) b = static_cast<uint8_t>(rng());
    if (round == 2) std::fill(source.begin(), source.end(), 0xFF);  // every lane wraps
    for (size_t from : {0, 1, 2, 3, 7}) {
      for (size_t to : {0, 1, 3, 4}) {
        for (size_t length = 0; length <= 300; ++length) {
          std::vector<uint8_t> copied(length + 16, 0xEE);
          std::vector<uint8_t> expected = copied;
          std::memcpy(expected.data() + to, source.data() + from, length);
          const uint16_t sum =
              Ch10CopyAndChecksum16(copied.data() + to, source.data() + from, length);
          ASSERT_EQ(sum, Ch10Checksum16(source.data() + from, length))
              << "round " << round << " from " << from << " to " << to << " length " << length;
          ASSERT_EQ(copied, expected) << "from " << from << " to " << to << " length " << length;
        }
      }
    }
  }
}

TEST(Ch10Trailer, FillerMakesThePacketAMultipleOfFour) {
  std::vector<uint8_t> body(128, 0x11);
  for (uint32_t length = 1; length <= 40; ++length) {
    const ch10trailerstruct t = FillDataChecksum(body.data(), length);
    EXPECT_LE(t.FillerLength, 3u);
    EXPECT_EQ(t.ChecksumWidth, 2u);
    EXPECT_EQ(t.TrailerLength, t.FillerLength + 2);
    EXPECT_EQ((kCh10HeaderBytes + length + t.TrailerLength) % 4, 0u) << length;
    EXPECT_EQ(t.Checksum, VerifyChecksum16(body.data(), length));
  }
  // Time and PCM bodies are multiples of 4: the classic 2 filler bytes.
  EXPECT_EQ(FillDataChecksum(body.data(), 64).FillerLength, 2u);
  EXPECT_EQ(FillDataChecksum(body.data(), 104).TrailerLength, 4u);
  // An odd TMATS body of 105 bytes gets 1 filler byte: 24 + 105 + 1 + 2 = 132.
  EXPECT_EQ(FillDataChecksum(body.data(), 105).FillerLength, 1u);
  EXPECT_EQ(FillDataChecksum(body.data(), 106).FillerLength, 0u);
  EXPECT_EQ(FillDataChecksum(body.data(), 107).FillerLength, 3u);
}

TEST(Ch10Trailer, PlaceTrailerWritesZeroFillerThenChecksum) {
  uint8_t area[8];
  std::fill(std::begin(area), std::end(area), 0xEE);
  ch10trailerstruct t;
  t.FillerLength = 3;
  t.ChecksumWidth = 2;
  t.TrailerLength = 5;
  t.Checksum = 0x6ABF;
  PlaceTrailer(area, t);
  EXPECT_EQ(std::vector<uint8_t>(area, area + 6),
            (std::vector<uint8_t>{0x00, 0x00, 0x00, 0xBF, 0x6A, 0xEE}));
}

class Ch10PacketWrite : public ::testing::Test {
 protected:
  void TearDown() override { ClearFileWriteFault(); }
  testutil::TempDir dir_;
};

TEST_F(Ch10PacketWrite, WritesHeaderThenBodyAndTrailer) {
  // Body of 8 bytes: channel word and 4 data bytes, then the 4-byte trailer.
  std::vector<uint8_t> buffer(kCh10HeaderBytes + 8 + 4, 0);
  uint8_t* body = buffer.data() + kCh10HeaderBytes;
  const uint8_t data[] = {0x00, 0x00, 0x10, 0x00, 0xDE, 0xAD, 0xBE, 0xEF};
  std::copy(std::begin(data), std::end(data), body);
  const ch10trailerstruct t = FillDataChecksum(body, 8);
  PlaceTrailer(body + 8, t);
  ch10headerstruct h;
  BuildCh10Header(h, kPcmChannelId, kCh10HeaderBytes + 8 + t.TrailerLength, SecondsToRtc(2.0),
                  kPcmDataType, kCh10PacketFlags, 7, 8);

  const std::string path = dir_.File("one.ch10");
  PlatformFile file;
  ASSERT_TRUE(file.CreateWrite(path));
  EXPECT_EQ(WriteCh10Packet(file, h, body), 0);
  file.Close();

  std::vector<testutil::Ch10Packet> packets;
  std::string error;
  ASSERT_TRUE(testutil::ReadCh10File(path, packets, error)) << error;
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_TRUE(packets[0].ChecksumsGood());
  EXPECT_EQ(packets[0].packet_length, 36u);
  EXPECT_EQ(packets[0].sequence, 7);
  EXPECT_EQ(packets[0].rtc, 20000000u);
  EXPECT_EQ(packets[0].body, std::vector<uint8_t>(std::begin(data), std::end(data)));
}

TEST_F(Ch10PacketWrite, FailedAndShortWritesReturnTheErrorNumber) {
  std::vector<uint8_t> body(68, 0);
  ch10headerstruct h;
  BuildCh10Header(h, kTimeChannelId, 92, 0, kTimeDataType, kCh10PacketFlags, 0, 64);
  const std::string path = dir_.File("full.ch10");
  PlatformFile file;
  ASSERT_TRUE(file.CreateWrite(path));
  // The header fits, the body comes up short.
  SetFileWriteFault("full.ch10", 30, ENOSPC);
  EXPECT_EQ(WriteCh10Packet(file, h, body.data()), ENOSPC);
  // Nothing fits any more.
  EXPECT_EQ(WriteCh10Packet(file, h, body.data()), ENOSPC);
  PlatformFile closed;
  EXPECT_NE(WriteCh10Packet(closed, h, body.data()), 0);
}

}  // namespace
