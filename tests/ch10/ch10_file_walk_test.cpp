// Packed stream to Chapter 10 file: streams bytes through the converter
// (Start, the stream in pieces, Finish) and walks the whole output packet by
// packet against a model of the packet schedule: TMATS, the first time
// packet, then PCM packets with a time packet once 0.9 s of archive time has
// passed, advancing by each packet's own duration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/ark_header.h"
#include "ch10/ch10_converter.h"
#include "common/ch10_packets.h"
#include "ch10_test_setup.h"
#include "common/test_helpers.h"

namespace {

// The walk starts at day 200, 07:00:00.25.
constexpr double kWalkStartTime = 86400.0 * 200 + 3600.0 * 7 + 0.25;

std::unique_ptr<arkheaderstruct> MakeWalkSetup(int32_t bits_per_frame, double frame_rate,
                                           int32_t year) {
  return ch10test::MakeSetup(bits_per_frame, frame_rate, year, kWalkStartTime);
}

// What the walk expects, packet by packet.
struct ExpectedPacket {
  uint16_t channel = 0;
  uint64_t rtc = 0;
  double archive_time = 0.0;   // time packets
  int64_t pcm_bytes = 0;       // PCM packets: data bytes after the channel word
  int pcm_index = 0;           // PCM packets: 1, 2, ...; time packets: PCM packets before
};

struct PassResult {
  std::vector<ExpectedPacket> expected;
  double pcm_packet_count = 0.0;
  double time_packet_count = 0.0;
  double stop_time = 0.0;
  double packet_duration = 0.0;
  int32_t words_per_packet = 0;
  bool output_failed = true;
};

uint64_t ExpectedRtc(double seconds) {
  return static_cast<uint64_t>(std::floor(seconds * 1e7)) & ((uint64_t{1} << 48) - 1);
}

// Streams `pack` through the converter in pieces of `piece` bytes and
// builds the packets the schedule calls for.
PassResult RunChapter10Pass(const std::vector<uint8_t>& pack, const std::string& out,
                            const arkheaderstruct& setup, size_t piece = 100000) {
  PassResult r;
  ch10convertprocessclass conv(out, setup);
  conv.Start();
  for (size_t at = 0; at < pack.size(); at += piece) {
    conv.AcceptPackedBytes(pack.data() + at, std::min(piece, pack.size() - at));
  }
  conv.Finish();
  r.pcm_packet_count = static_cast<double>(conv.PcmPacketCount());
  r.time_packet_count = static_cast<double>(conv.TimePacketCount());
  r.stop_time = conv.Ch10StopTime();
  r.packet_duration = conv.PacketDuration();
  r.words_per_packet = conv.WordsPerPacket();
  r.output_failed = conv.OutputFailed();

  // The schedule: full packets of 2 x words bytes, then what is left padded
  // to 4 bytes; each lasts its data's bits at the bit rate.
  const int64_t full = 2 * static_cast<int64_t>(conv.WordsPerPacket());
  const double wrap = conv.CounterWrapPeriod();
  double relative = 0.0;
  double time = setup.StartTime;
  double last_time_packet = time;
  r.expected.push_back({0, 0, 0.0, 0, 0});
  r.expected.push_back({1, 0, time, 0, 0});
  int pcm_index = 0;
  for (int64_t at = 0; at < static_cast<int64_t>(pack.size()); at += full) {
    const int64_t bytes = std::min<int64_t>(full, static_cast<int64_t>(pack.size()) - at);
    const int64_t padded = (bytes + 3) / 4 * 4;
    r.expected.push_back({2, ExpectedRtc(relative), 0.0, padded, ++pcm_index});
    const double duration = padded == full ? conv.PacketDuration()
                                           : 1.0 / (conv.BitRate() / (padded * 8.0));
    time += duration;
    relative += duration;
    if (relative > wrap) relative -= wrap;
    if (time - last_time_packet >= 0.9) {
      last_time_packet = time;
      r.expected.push_back({1, ExpectedRtc(relative), time, 0, pcm_index});
    }
  }
  return r;
}

// Walks every packet of the file against the expectation; returns the
// packets for further checks.
std::vector<testutil::Ch10Packet> WalkFile(const std::string& out, const PassResult& r,
                                           const std::vector<uint8_t>& pack, bool leap) {
  std::vector<testutil::Ch10Packet> packets;
  std::string error;
  EXPECT_TRUE(testutil::ReadCh10File(out, packets, error)) << error;
  EXPECT_EQ(packets.size(), r.expected.size());
  if (packets.size() != r.expected.size()) return packets;

  int sequence[3] = {0, 0, 0};
  for (size_t i = 0; i < packets.size(); ++i) {
    const testutil::Ch10Packet& p = packets[i];
    const ExpectedPacket& e = r.expected[i];
    SCOPED_TRACE("packet " + std::to_string(i));
    EXPECT_EQ(p.channel, e.channel);
    EXPECT_TRUE(p.header_checksum_ok);
    EXPECT_TRUE(p.data_checksum_ok);
    EXPECT_TRUE(p.filler_zero);
    EXPECT_EQ(p.flags, 0x02);
    EXPECT_EQ(p.packet_length % 4, 0u);
    EXPECT_EQ(p.rtc, e.rtc);
    if (e.channel > 2) continue;  // keeps the counter index in range
    EXPECT_EQ(p.sequence, static_cast<uint8_t>(sequence[e.channel]++));
    switch (e.channel) {
      case 0:
        EXPECT_EQ(i, 0u);
        EXPECT_EQ(p.data_type, 0x01);
        EXPECT_EQ(p.ChannelWord(), 0u);
        break;
      case 1: {
        EXPECT_EQ(p.data_type, 0x11);
        EXPECT_EQ(p.packet_length, 92u);
        testutil::Ch10DayTime t;
        EXPECT_TRUE(testutil::DecodeCh10TimeBody(p.body, t));
        EXPECT_TRUE(t.digits_valid);
        EXPECT_TRUE(t.tail_zero);
        EXPECT_EQ(t.leap_year, leap);
        EXPECT_EQ(t.channel_word & ~0x100u, 0xF0u);
        // The archive time cut to 10 ms.
        EXPECT_LE(t.DayOfYearSeconds(), e.archive_time + 1e-6);
        EXPECT_GT(t.DayOfYearSeconds(), e.archive_time - 0.010 - 1e-6);
        break;
      }
      case 2:
        EXPECT_EQ(p.data_type, 0x09);
        EXPECT_EQ(p.ChannelWord(), 0x00100000u);
        EXPECT_EQ(static_cast<int64_t>(p.data_length), 4 + e.pcm_bytes);
        EXPECT_EQ(p.filler_length, 2u);
        break;
    }
  }
  // The PCM data is the stream, in order, zero-padded to 4 bytes.
  std::vector<uint8_t> padded = pack;
  padded.resize((pack.size() + 3) / 4 * 4, 0);
  EXPECT_TRUE(testutil::ConcatenatePcmPayloads(packets) == padded)
      << "PCM payloads differ from the stream";
  return packets;
}

std::vector<uint8_t> RandomPack(size_t bytes, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> pack(bytes);
  for (uint8_t& b : pack) b = static_cast<uint8_t>(rng());
  return pack;
}

// Indexes (1-based) of the PCM packets that a time packet follows.
std::vector<int> TimePacketsAfter(const PassResult& r) {
  std::vector<int> after;
  for (size_t i = 2; i < r.expected.size(); ++i) {
    if (r.expected[i].channel == 1) after.push_back(r.expected[i].pcm_index);
  }
  return after;
}

class Ch10FileWalk : public ::testing::Test {
 protected:
  std::string Out() const { return dir_.File("run.ch10"); }

  testutil::TempDir dir_;
  testutil::BeepRecorder beeps_;
};

TEST_F(Ch10FileWalk, OneMegabitWithShortLastPacket) {
  auto setup = MakeWalkSetup(1000, 1000.0, 2012);
  const std::vector<uint8_t> pack = RandomPack(25 * 12496 + 5002, 1);
  const PassResult r = RunChapter10Pass(pack, Out(), *setup);
  const auto packets = WalkFile(Out(), r, pack, true);
  ASSERT_FALSE(HasFailure());

  EXPECT_FALSE(r.output_failed);
  EXPECT_EQ(r.words_per_packet, 6248);
  EXPECT_EQ(r.pcm_packet_count, 26.0);
  EXPECT_EQ(r.time_packet_count, 3.0);
  EXPECT_EQ(TimePacketsAfter(r), (std::vector<int>{10, 20}));
  // Layout: TMATS, time, PCM 1..10, time, PCM 11..20, time, PCM 21..26.
  ASSERT_EQ(packets.size(), 2u + 26u + 2u);
  EXPECT_EQ(packets[2].rtc, 0u);
  EXPECT_EQ(packets[3].rtc, 999680u);           // second PCM packet
  EXPECT_EQ(packets[12].channel, 1);            // after the 10th PCM packet
  EXPECT_EQ(packets[12].rtc, packets[13].rtc);  // same counter as the 11th
  EXPECT_EQ(packets[12].sequence, 1);
  EXPECT_EQ(packets[13].sequence, 10);
  const testutil::Ch10Packet& last = packets.back();
  EXPECT_EQ(last.channel, 2);
  EXPECT_EQ(last.data_length, 4u + 5004u);
  EXPECT_EQ(last.body[4 + 5002], 0);
  EXPECT_EQ(last.body[4 + 5003], 0);
  // Accumulated on a day-of-year time near 1.7e7 s: a few ulps per step.
  EXPECT_NEAR(r.stop_time - setup->StartTime, 25 * 0.099968 + 5004 * 8 / 1e6, 1e-7);
}

TEST_F(Ch10FileWalk, TimePacketAfterTheShortLastPacketUsesItsOwnDuration) {
  auto setup = MakeWalkSetup(1000, 1000.0, 2011);
  const std::vector<uint8_t> pack = RandomPack(9 * 12496 + 5002, 2);
  const PassResult r = RunChapter10Pass(pack, Out(), *setup);
  const auto packets = WalkFile(Out(), r, pack, false);
  ASSERT_FALSE(HasFailure());
  // 9 x 0.099968 + 5004 x 8 / 10^6 = 0.939744 s: past 0.9 s.
  EXPECT_EQ(TimePacketsAfter(r), (std::vector<int>{10}));
  ASSERT_EQ(packets.size(), 2u + 10u + 1u);
  EXPECT_EQ(packets.back().channel, 1);
  EXPECT_NEAR(static_cast<double>(packets.back().rtc), 9397440.0, 1.0);
}

TEST_F(Ch10FileWalk, ExactlyWholePackets) {
  auto setup = MakeWalkSetup(1000, 1000.0, 2011);
  const std::vector<uint8_t> pack = RandomPack(3 * 12496, 3);
  const PassResult r = RunChapter10Pass(pack, Out(), *setup);
  const auto packets = WalkFile(Out(), r, pack, false);
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(r.pcm_packet_count, 3.0);
  ASSERT_EQ(packets.size(), 5u);
  for (size_t i = 2; i < 5; ++i) EXPECT_EQ(packets[i].data_length, 12500u);
}

TEST_F(Ch10FileWalk, OneAndAHalfPacketsLoseNothing) {
  auto setup = MakeWalkSetup(1000, 1000.0, 2011);
  const std::vector<uint8_t> pack = RandomPack(12496 + 6250, 4);
  const PassResult r = RunChapter10Pass(pack, Out(), *setup);
  const auto packets = WalkFile(Out(), r, pack, false);
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(r.pcm_packet_count, 2.0);
  ASSERT_EQ(packets.size(), 4u);
  EXPECT_EQ(packets[3].data_length, 4u + 6252u);  // 6,250 bytes padded to 6,252
}

TEST_F(Ch10FileWalk, EmptyStream) {
  auto setup = MakeWalkSetup(1000, 1000.0, 2011);
  const std::vector<uint8_t> pack;
  const PassResult r = RunChapter10Pass(pack, Out(), *setup);
  const auto packets = WalkFile(Out(), r, pack, false);
  ASSERT_FALSE(HasFailure());
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].channel, 0);
  EXPECT_EQ(packets[1].channel, 1);
  EXPECT_EQ(r.pcm_packet_count, 0.0);
  EXPECT_EQ(r.time_packet_count, 1.0);
  EXPECT_EQ(r.stop_time, setup->StartTime);
}

TEST_F(Ch10FileWalk, ManySmallPacketsWrapThePcmSequence) {
  auto setup = MakeWalkSetup(64, 1000.0, 2012);  // 64,000 bit/s: 400 words, 0.1 s
  const std::vector<uint8_t> pack = RandomPack(300 * 800 + 3, 5);  // ends in a 3-byte unit
  const PassResult r = RunChapter10Pass(pack, Out(), *setup, 7);
  const auto packets = WalkFile(Out(), r, pack, true);
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(r.words_per_packet, 400);
  EXPECT_EQ(r.pcm_packet_count, 301.0);
  EXPECT_EQ(packets.back().data_length, 8u);  // channel word and one padded unit
  int pcm_seen = 0;
  for (const auto& p : packets) {
    if (p.channel != 2) continue;
    ++pcm_seen;
    if (pcm_seen == 256) {
      EXPECT_EQ(p.sequence, 255);
    }
    if (pcm_seen == 257) {
      EXPECT_EQ(p.sequence, 0);
    }
  }
  // 301 packets of 0.1 s: a time packet after every 9th or 10th.
  EXPECT_GE(r.time_packet_count, 31.0);
  EXPECT_LE(r.time_packet_count, 34.0);
}

TEST_F(Ch10FileWalk, LargestPacketsFromOddPieces) {
  auto setup = MakeWalkSetup(2048, 10240.0, 2011);  // 20,971,520 bit/s: 262,144 data bytes
  const std::vector<uint8_t> pack = RandomPack(12 * 262144 + 1234, 6);
  const PassResult r = RunChapter10Pass(pack, Out(), *setup, 100003);
  const auto packets = WalkFile(Out(), r, pack, false);
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(r.pcm_packet_count, 13.0);
  EXPECT_EQ(packets[2].packet_length, 262176u);
  // Packets of 0.1 s: whether 9 of them reach 0.9 s depends on rounding.
  const std::vector<int> after = TimePacketsAfter(r);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_TRUE(after[0] == 9 || after[0] == 10) << after[0];
}

}  // namespace
