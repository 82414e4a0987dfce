// ch10convertprocessclass: timing set-up, the TMATS packet, sequence
// counters, the packets cut from the stream (full ones as they fill, the
// short last one at the end, whatever pieces the stream comes in), the time
// packet cadence and relative time counters, and how output failures are
// reported.
#include "ch10/ch10_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/ark_header.h"
#include "common/ch10_packets.h"
#include "ch10_test_setup.h"
#include "common/test_helpers.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace {

using ch10test::MakeSetup;

class Ch10Converter : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxHook([this](const std::string& caption, const std::string& text) {
      boxes_.push_back(caption + "|" + text);
    });
  }
  void TearDown() override {
    ClearFileWriteFault();
    SetMessageBoxHook(nullptr);
  }

  std::vector<testutil::Ch10Packet> ReadPackets(const std::string& path) {
    std::vector<testutil::Ch10Packet> packets;
    std::string error;
    EXPECT_TRUE(testutil::ReadCh10File(path, packets, error)) << error;
    return packets;
  }

  // Start, the stream in pieces of at most `piece` bytes, Finish.
  static void Stream(ch10convertprocessclass& conv, const std::vector<uint8_t>& bytes,
                     size_t piece = 65536) {
    ASSERT_TRUE(conv.Start());
    for (size_t at = 0; at < bytes.size(); at += piece) {
      ASSERT_TRUE(conv.AcceptPackedBytes(bytes.data() + at, std::min(piece, bytes.size() - at)));
    }
    conv.Finish();
  }

  // PCM packets only.
  static std::vector<testutil::Ch10Packet> Pcm(const std::vector<testutil::Ch10Packet>& packets) {
    std::vector<testutil::Ch10Packet> pcm;
    for (const auto& p : packets) {
      if (p.channel == testutil::kCh10PcmChannel) pcm.push_back(p);
    }
    return pcm;
  }

  // The header record the test's converters read: a stream of 1,000,000
  // bit/s unless the test takes another.
  void UseSetup(int32_t bits_per_frame, double frame_rate) {
    setup_ = MakeSetup(bits_per_frame, frame_rate);
  }

  std::unique_ptr<arkheaderstruct> setup_ = MakeSetup(1000, 1000.0);
  testutil::TempDir dir_;
  testutil::BeepRecorder beeps_;
  std::vector<std::string> boxes_;
};

TEST_F(Ch10Converter, WordsPerPacketFollowTheBitRate) {
  const struct {
    int32_t bits;
    double rate;
    int32_t words;
  } cases[] = {
      {1000, 1000.0, 6248},        // 1,000,000 bit/s: x = 3125, n = 3124
      {1000, 10000.0, 62500},      // 10,000,000 bit/s
      {2048, 10240.0, 131072},     // 20,971,520 bit/s: the cap
      {4096, 25000.0, 131072},     // above the cap
      {64, 10.0, 4},               // 640 bit/s: x = 2
      {16, 30.0, 4},               // 480 bit/s would give 0 words
      {16, 1.0, 4},                // 16 bit/s
      {0, 0.0, 4},                 // no rate at all
      {1000, 1.28, 8},             // 1,280 bit/s: x = 4
      {1000, 1.6, 8},              // 1,600 bit/s: x = 5, odd, so n = 4
  };
  for (const auto& c : cases) {
    UseSetup(c.bits, c.rate);
    ch10convertprocessclass conv(dir_.FreshFile("o.ch10"), *setup_);
    conv.SetUpTiming();
    EXPECT_EQ(conv.WordsPerPacket(), c.words) << c.bits << " x " << c.rate;
    EXPECT_EQ(conv.WordsPerPacket() % 4, 0);
  }
}

TEST_F(Ch10Converter, TimingAtOneMegabit) {
  ch10convertprocessclass conv(dir_.FreshFile("o.ch10"), *setup_);
  conv.SetUpTiming();
  EXPECT_DOUBLE_EQ(conv.BitRate(), 1000000.0);
  EXPECT_DOUBLE_EQ(conv.PacketDuration(), 0.099968);
  EXPECT_DOUBLE_EQ(conv.CounterWrapPeriod(), 28147497.6710655);
  EXPECT_EQ(conv.RelativeSeconds(), 0.0);
  EXPECT_EQ(conv.CurrentArchiveTime(), setup_->StartTime);
  EXPECT_EQ(conv.Ch10StartTime(), setup_->StartTime);
  EXPECT_EQ(conv.Ch10StopTime(), setup_->StartTime);
  EXPECT_EQ(conv.PcmPacketCount(), 0);
  EXPECT_EQ(conv.TimePacketCount(), 1);
  EXPECT_EQ(conv.PackedBytesAccepted(), 0);
}

TEST_F(Ch10Converter, TmatsPacketComesFirstOnChannelZero) {
  UseSetup(256, 1000.0);
  const std::string out = dir_.FreshFile("o.ch10");
  {
    ch10convertprocessclass conv(out, *setup_);
    ASSERT_TRUE(conv.CreateCh10File(out));
    conv.WriteTmatsPacket();
    ASSERT_FALSE(conv.TmatsLines().empty());
    conv.CloseCh10File();
    EXPECT_FALSE(conv.OutputFailed());

    const auto packets = ReadPackets(out);
    ASSERT_EQ(packets.size(), 1u);
    const testutil::Ch10Packet& p = packets[0];
    EXPECT_TRUE(p.ChecksumsGood());
    EXPECT_EQ(p.channel, 0);
    EXPECT_EQ(p.data_type, 0x01);
    EXPECT_EQ(p.flags, 0x02);
    EXPECT_EQ(p.sequence, 0);
    EXPECT_EQ(p.rtc, 0u);
    EXPECT_EQ(p.packet_length % 4, 0u);
    EXPECT_EQ(p.packet_length, 24 + p.data_length + p.filler_length + 2);
    EXPECT_LE(p.filler_length, 3u);
    EXPECT_EQ(p.ChannelWord(), 0u);
    // The body is every line followed by ";" CR LF.
    std::string text;
    for (const std::string& line : conv.TmatsLines()) text += line + ";\r\n";
    EXPECT_EQ(p.PayloadText(), text);
    EXPECT_EQ(p.data_length, 4 + text.size());
  }
}

TEST_F(Ch10Converter, TmatsFillerForEveryBodyLengthRemainder) {
  // Word tables of different sizes give TMATS texts of different lengths;
  // whatever the remainder, the packet stays a multiple of 4 bytes.
  bool seen[4] = {false, false, false, false};
  for (int32_t words = 1; words <= 40; ++words) {
    UseSetup(16 * words, 100.0);
    setup_->WordTable[0].iWdLen = 12;  // one odd length makes the text vary
    const std::string out = dir_.FreshFile("t.ch10");
    ch10convertprocessclass conv(out, *setup_);
    ASSERT_TRUE(conv.CreateCh10File(out));
    conv.WriteTmatsPacket();
    conv.CloseCh10File();
    const auto packets = ReadPackets(out);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_TRUE(packets[0].ChecksumsGood());
    EXPECT_EQ(packets[0].packet_length % 4, 0u);
    seen[packets[0].data_length % 4] = true;
  }
  // Not every remainder need occur, but more than one must for the check to
  // mean something.
  EXPECT_GE(seen[0] + seen[1] + seen[2] + seen[3], 2);
}

TEST_F(Ch10Converter, LargeTmatsTextFromAFullWordTable) {
  // Every other word of a 16,383-word frame is 12 bits long: one pair of
  // word-length lines per such word makes a TMATS text of several hundred KB.
  UseSetup(16 * kWordTableEntries, 1.0);
  for (int i = 0; i < kWordTableEntries; i += 2) setup_->WordTable[i].iWdLen = 12;
  setup_->VariableWordLengths = true;
  const std::string out = dir_.FreshFile("big.ch10");
  ch10convertprocessclass conv(out, *setup_);
  ASSERT_TRUE(conv.CreateCh10File(out));
  conv.WriteTmatsPacket();
  conv.WriteTimePacket(0, 0.0, setup_->StartTime);
  conv.CloseCh10File();
  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_GT(packets[0].data_length, 100000u);
  EXPECT_TRUE(packets[0].ChecksumsGood());
  EXPECT_EQ(packets[0].packet_length % 4, 0u);
  std::string text;
  for (const std::string& line : conv.TmatsLines()) text += line + ";\r\n";
  EXPECT_TRUE(packets[0].PayloadText() == text);
  EXPECT_TRUE(packets[1].ChecksumsGood());
}

TEST_F(Ch10Converter, TimePacketSequenceWrapsAfter256) {
  const std::string out = dir_.FreshFile("o.ch10");
  {
    ch10convertprocessclass conv(out, *setup_);
    ASSERT_TRUE(conv.CreateCh10File(out));
    for (int i = 0; i < 258; ++i) conv.WriteTimePacket(1, 1.0 * i, setup_->StartTime + i);
    conv.CloseCh10File();
  }
  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 258u);
  for (size_t i = 0; i < packets.size(); ++i) {
    const testutil::Ch10Packet& p = packets[i];
    ASSERT_TRUE(p.ChecksumsGood()) << i;
    EXPECT_EQ(p.channel, 1);
    EXPECT_EQ(p.data_type, 0x11);
    EXPECT_EQ(p.packet_length, 92u);
    EXPECT_EQ(p.data_length, 64u);
    EXPECT_EQ(p.filler_length, 2u);
    EXPECT_EQ(p.sequence, static_cast<uint8_t>(i));
    EXPECT_EQ(p.rtc, 10000000u * i);
    testutil::Ch10DayTime t;
    ASSERT_TRUE(testutil::DecodeCh10TimeBody(p.body, t));
    EXPECT_EQ(t.channel_word, 0x1F0u);
  }
  EXPECT_EQ(packets[255].sequence, 255);
  EXPECT_EQ(packets[256].sequence, 0);  // the 257th packet
  const std::vector<uint8_t> file = testutil::ReadAllBytes(out);
  ASSERT_GE(file.size(), 24u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 24),
            (std::vector<uint8_t>{0x25, 0xEB, 0x01, 0x00, 0x5C, 0x00, 0x00, 0x00,
                                  0x40, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x11,
                                  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC7, 0xFC}));
}

TEST_F(Ch10Converter, TimePacketBodyIsRebuiltInTheReusedBuffer) {
  // A PCM packet leaves data in the assembly buffer; the time packet that
  // follows must still carry 54 zero bytes.
  std::vector<uint8_t> pack(12496, 0xA5);  // one full packet
  const std::string out = dir_.FreshFile("o.ch10");
  {
    ch10convertprocessclass conv(out, *setup_);
    ASSERT_TRUE(conv.CreateCh10File(out));
    conv.SetUpTiming();
    ASSERT_TRUE(conv.AcceptPackedBytes(pack.data(), pack.size()));
    EXPECT_EQ(conv.PcmPacketCount(), 1);
    conv.WriteTimePacket(0, 0.099968, 86400.0 * 123 + 45296.789);
    conv.CloseCh10File();
  }
  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 2u);
  testutil::Ch10DayTime t;
  ASSERT_TRUE(testutil::DecodeCh10TimeBody(packets[1].body, t));
  EXPECT_TRUE(t.tail_zero);
  EXPECT_TRUE(t.digits_valid);
  EXPECT_EQ(packets[1].data_checksum, 0x6ABF);
  EXPECT_EQ(packets[1].sequence, 0);
  EXPECT_EQ(packets[1].rtc, 999680u);
}

TEST_F(Ch10Converter, PcmPacketsTimesAndTimePacketsAtOneMegabit) {
  // 12,496 data bytes (0.099968 s) per packet; 21 full packets and nothing
  // more. A time packet follows the 10th and the 20th PCM packet and
  // carries the relative time counter and archive time of the PCM packet
  // after it.
  std::vector<uint8_t> pack(12496 * 21);
  for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(i * 7 + 3);
  const std::string out = dir_.FreshFile("o.ch10");
  ch10convertprocessclass conv(out, *setup_);
  Stream(conv, pack, 5000);
  EXPECT_EQ(conv.PcmPacketCount(), 21);
  EXPECT_EQ(conv.TimePacketCount(), 3);
  EXPECT_EQ(conv.PackedBytesAccepted(), static_cast<int64_t>(pack.size()));
  // Accumulated on a day-of-year time near 1e7 s: a few ulps per step.
  EXPECT_NEAR(conv.Ch10StopTime() - conv.Ch10StartTime(), 21 * 0.099968, 1e-7);

  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 2u + 21u + 2u);
  EXPECT_EQ(packets[0].channel, testutil::kCh10TmatsChannel);
  EXPECT_EQ(packets[1].channel, testutil::kCh10TimeChannel);
  EXPECT_EQ(packets[1].rtc, 0u);
  EXPECT_EQ(packets[12].channel, testutil::kCh10TimeChannel);  // after PCM packet 10
  EXPECT_EQ(packets[23].channel, testutil::kCh10TimeChannel);  // after PCM packet 20
  EXPECT_EQ(packets[12].rtc, packets[13].rtc);
  EXPECT_EQ(packets[23].rtc, packets[24].rtc);
  EXPECT_EQ(packets[12].sequence, 1);
  testutil::Ch10DayTime t;
  ASSERT_TRUE(testutil::DecodeCh10TimeBody(packets[12].body, t));
  EXPECT_EQ(t.channel_word, 0xF0u);

  const auto pcm = Pcm(packets);
  ASSERT_EQ(pcm.size(), 21u);
  for (size_t i = 0; i < pcm.size(); ++i) {
    EXPECT_TRUE(pcm[i].ChecksumsGood()) << i;
    EXPECT_EQ(pcm[i].data_type, 0x09);
    EXPECT_EQ(pcm[i].sequence, i);
    EXPECT_EQ(pcm[i].data_length, 12500u);
    EXPECT_EQ(pcm[i].packet_length, 12528u);
    EXPECT_EQ(pcm[i].ChannelWord(), 0x00100000u);
  }
  EXPECT_EQ(pcm[0].rtc, 0u);
  EXPECT_EQ(pcm[1].rtc, 999680u);  // floor(0.099968 x 10^7)
  EXPECT_NEAR(static_cast<double>(pcm[20].rtc), 20 * 999680.0, 1.0);
  EXPECT_EQ(testutil::ConcatenatePcmPayloads(packets), pack);
}

TEST_F(Ch10Converter, TheStreamsPiecesDoNotChangeTheFile) {
  // Whether the stream comes a byte at a time, in odd pieces or at once,
  // the packets are the same: full ones as they fill, the short one last.
  std::vector<uint8_t> pack(12496 * 3 + 1001);
  for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(i ^ (i >> 8));
  std::vector<uint8_t> first;
  for (size_t piece : {pack.size(), size_t{1}, size_t{3}, size_t{12496}, size_t{12497}}) {
    const std::string out = dir_.FreshFile("piece.ch10");
    ch10convertprocessclass conv(out, *setup_);
    Stream(conv, pack, piece);
    EXPECT_EQ(conv.PcmPacketCount(), 4) << piece;
    std::vector<uint8_t> bytes = testutil::ReadAllBytes(out);
    // Past the TMATS packet (its comment holds the clock) the files agree.
    const size_t tmats = ReadPackets(out)[0].packet_length;
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(tmats));
    if (first.empty()) {
      first = bytes;
    } else {
      EXPECT_TRUE(bytes == first) << piece;
    }
  }
}

TEST_F(Ch10Converter, PacketsFramedWhileAPcmPacketGathersGoBeforeIt) {
  // A time packet written, or a new file created, while a PCM packet is half
  // gathered: the packets already framed go first (to the file they were
  // framed for) and the PCM packet keeps every byte.
  std::vector<uint8_t> pack(12496);
  for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(i * 5 + 1);
  const std::string first = dir_.FreshFile("first.ch10");
  const std::string second = dir_.FreshFile("second.ch10");
  ch10convertprocessclass conv(first, *setup_);
  ASSERT_TRUE(conv.Start());
  ASSERT_TRUE(conv.AcceptPackedBytes(pack.data(), 5001));
  conv.WriteTimePacket(0, 0.5, setup_->StartTime + 0.5);
  ASSERT_TRUE(conv.AcceptPackedBytes(pack.data() + 5001, 2000));
  ASSERT_TRUE(conv.CreateCh10File(second));
  ASSERT_TRUE(conv.AcceptPackedBytes(pack.data() + 7001, pack.size() - 7001));
  conv.Finish();
  EXPECT_FALSE(conv.OutputFailed());

  const auto before = ReadPackets(first);
  ASSERT_EQ(before.size(), 3u);
  EXPECT_EQ(before[2].channel, testutil::kCh10TimeChannel);
  EXPECT_EQ(before[2].rtc, 5000000u);
  EXPECT_TRUE(before[2].ChecksumsGood());
  const auto after = ReadPackets(second);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].channel, testutil::kCh10PcmChannel);
  EXPECT_TRUE(after[0].ChecksumsGood());
  EXPECT_EQ(testutil::ConcatenatePcmPayloads(after), pack);
}

TEST_F(Ch10Converter, LargestPacketsAtTheCap) {
  UseSetup(2048, 10240.0);  // 20,971,520 bit/s
  std::vector<uint8_t> pack(262144 + 1000, 0x3C);
  const std::string out = dir_.FreshFile("o.ch10");
  ch10convertprocessclass conv(out, *setup_);
  Stream(conv, pack);
  const auto packets = Pcm(ReadPackets(out));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].data_length, 262148u);
  EXPECT_EQ(packets[0].packet_length, 262176u);
  EXPECT_EQ(packets[1].data_length, 1004u);
  EXPECT_TRUE(packets[0].ChecksumsGood());
  EXPECT_TRUE(packets[1].ChecksumsGood());
}

TEST_F(Ch10Converter, SlowStreamStillEnds) {
  UseSetup(16, 20.0);  // 320 bit/s: the minimum of 4 words
  std::vector<uint8_t> pack(30);
  for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(i + 1);
  const std::string out = dir_.FreshFile("o.ch10");
  ch10convertprocessclass conv(out, *setup_);
  Stream(conv, pack, 7);
  ASSERT_EQ(conv.WordsPerPacket(), 4);
  EXPECT_DOUBLE_EQ(conv.PacketDuration(), 0.2);
  // 3 full packets of 8 bytes, a short one of 6 -> 8.
  EXPECT_EQ(conv.PcmPacketCount(), 4);
  const auto packets = ReadPackets(out);
  EXPECT_EQ(Pcm(packets).size(), 4u);
  std::vector<uint8_t> padded = pack;
  padded.resize(32, 0);
  EXPECT_EQ(testutil::ConcatenatePcmPayloads(packets), padded);
}

TEST_F(Ch10Converter, EmptyStreamGivesTmatsAndOneTimePacket) {
  const std::string out = dir_.FreshFile("o.ch10");
  ch10convertprocessclass conv(out, *setup_);
  Stream(conv, {});
  EXPECT_EQ(conv.PcmPacketCount(), 0);
  EXPECT_EQ(conv.TimePacketCount(), 1);
  EXPECT_EQ(conv.Ch10StopTime(), conv.Ch10StartTime());
  EXPECT_FALSE(conv.OutputFailed());
  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].channel, testutil::kCh10TmatsChannel);
  EXPECT_EQ(packets[1].channel, testutil::kCh10TimeChannel);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(Ch10Converter, ShortLastPacketForEveryRemainder) {
  // Streams that end 1 to 8 bytes into a packet of 8 data bytes: the last
  // packet holds what is left, zero-padded to a 4-byte unit, and lasts only
  // as long as its data.
  UseSetup(16, 20.0);  // the minimum of 4 words: 8 data bytes
  for (size_t extra = 1; extra <= 8; ++extra) {
    std::vector<uint8_t> pack(16 + extra);
    for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(0xC0 + i);
    const std::string out = dir_.FreshFile("o.ch10");
    ch10convertprocessclass conv(out, *setup_);
    Stream(conv, pack, 5);
    const int64_t padded = static_cast<int64_t>((extra + 3) / 4 * 4);
    EXPECT_EQ(conv.PcmPacketCount(), 3) << extra;
    EXPECT_NEAR(conv.Ch10StopTime() - conv.Ch10StartTime(), 0.4 + padded * 8 / 320.0, 1e-7)
        << extra;

    const auto packets = Pcm(ReadPackets(out));
    ASSERT_EQ(packets.size(), 3u) << extra;
    for (const auto& p : packets) EXPECT_TRUE(p.ChecksumsGood()) << extra;
    EXPECT_EQ(packets[2].data_length, 4u + padded) << extra;
    std::vector<uint8_t> expected = pack;
    expected.resize(16 + static_cast<size_t>(padded), 0);
    EXPECT_EQ(testutil::ConcatenatePcmPayloads(packets), expected) << extra;
  }
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(Ch10Converter, RelativeTimeWrapsOncePastThePeriod) {
  // Packets of 0.6 wrap periods: the third packet's relative time, 1.2
  // periods, wraps to 0.2 periods (the period is subtracted once, never
  // going below 0).
  UseSetup(64, 1.0);
  ch10convertprocessclass probe(dir_.FreshFile("probe.ch10"), *setup_);
  probe.SetUpTiming();
  const double period = probe.CounterWrapPeriod();
  setup_->MinorFrameRate = 1.0 / (0.6 * period);  // 4 words (64 bits) last 0.6 periods
  const std::string out = dir_.FreshFile("o.ch10");
  ch10convertprocessclass conv(out, *setup_);
  Stream(conv, std::vector<uint8_t>(8 * 3, 0x11));
  EXPECT_NEAR(conv.RelativeSeconds(), 0.8 * period, 1e-3);
  const auto pcm = Pcm(ReadPackets(out));
  ASSERT_EQ(pcm.size(), 3u);
  const double ticks = 1e7;
  EXPECT_EQ(pcm[0].rtc, 0u);
  EXPECT_NEAR(static_cast<double>(pcm[1].rtc), 0.6 * period * ticks, 2.0);
  EXPECT_NEAR(static_cast<double>(pcm[2].rtc), 0.2 * period * ticks, 2.0);
}

TEST_F(Ch10Converter, WriteFailureIsReportedOnceAndStopsTheOutput) {
  // Enough packets for the waiting ones to be written during the call.
  std::vector<uint8_t> pack(12496 * 24, 0x5A);
  const std::string out = dir_.FreshFile("fault.ch10");
  ch10convertprocessclass conv(out, *setup_);
  ASSERT_TRUE(conv.Start());
  const size_t started = testutil::ReadAllBytes(out).size();
  // Room for 1,000 bytes only: part of the TMATS packet.
  SetFileWriteFault("fault.ch10", 1000, ENOSPC);
  EXPECT_FALSE(conv.AcceptPackedBytes(pack.data(), pack.size()));
  EXPECT_TRUE(conv.OutputFailed());
  EXPECT_EQ(conv.OutputError(), ENOSPC);
  EXPECT_EQ(conv.PcmPacketCount(), 0);  // packets not whole in the file are not counted
  EXPECT_FALSE(conv.AcceptPackedBytes(pack.data(), 100));
  conv.Finish();
  EXPECT_EQ(conv.OutputError(), ENOSPC);

  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
  EXPECT_EQ(boxes_[0].rfind("ERROR|", 0), 0u) << boxes_[0];
  EXPECT_NE(boxes_[0].find(out), std::string::npos) << boxes_[0];
  EXPECT_NE(boxes_[0].find(SystemErrorText(ENOSPC)), std::string::npos) << boxes_[0];
  // Nothing after the failed write reached the file.
  EXPECT_EQ(testutil::ReadAllBytes(out).size(), started + 1000u);
}

TEST_F(Ch10Converter, FailedWriteLeavesTheValuesOfTheLastWholePacket) {
  // Packets reach the file in blocks of many. A write cut anywhere in a
  // block (inside the TMATS packet, a PCM packet, a time packet, or right
  // at a packet's end) leaves the counters and times of the last packet
  // that is whole in the file, the values a run fed only the data of the
  // whole PCM packets has. Fast packets (12,528 bytes) and slow ones (40
  // bytes, where the bound on packets per write decides).
  const struct {
    int32_t bits;
    double rate;
    size_t packets;
    size_t stride;  // every stride-th packet end is cut at and one byte before
  } cases[] = {{1000, 1000.0, 45, 1}, {16, 20.0, 3000, 61}};
  for (const auto& c : cases) {
    UseSetup(c.bits, c.rate);
    std::vector<uint8_t> pack;
    std::vector<testutil::Ch10Packet> clean;
    {
      ch10convertprocessclass conv(dir_.FreshFile("clean.ch10"), *setup_);
      conv.SetUpTiming();
      pack.resize(c.packets * static_cast<size_t>(conv.WordsPerPacket()) * 2);
      for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(i * 13 + 1);
      Stream(conv, pack, 30000);
      clean = ReadPackets(dir_.File("clean.ch10"));
    }
    const size_t full = pack.size() / c.packets;
    std::vector<size_t> cuts;
    for (size_t i = 0; i < clean.size(); i += c.stride) {
      const size_t end = clean[i].offset + clean[i].packet_length;
      cuts.push_back(end - 1);
      cuts.push_back(end);
    }
    size_t failed_runs = 0;
    for (const size_t cut : cuts) {
      if (cut >= clean.back().offset + clean.back().packet_length) continue;
      ++failed_runs;
      SCOPED_TRACE(std::to_string(c.bits * c.rate) + " bit/s, cut at " + std::to_string(cut));
      int64_t pcm_whole = 0;
      int64_t time_whole = 0;
      for (const auto& p : clean) {
        if (p.offset + p.packet_length > cut) break;
        pcm_whole += p.channel == testutil::kCh10PcmChannel;
        time_whole += p.channel == testutil::kCh10TimeChannel;
      }
      const std::string out = dir_.FreshFile("cut.ch10");
      ch10convertprocessclass conv(out, *setup_);
      SetFileWriteFault("cut.ch10", static_cast<int64_t>(cut), ENOSPC);
      conv.Start();
      for (size_t at = 0; at < pack.size() && !conv.OutputFailed(); at += 30000) {
        conv.AcceptPackedBytes(pack.data() + at, std::min<size_t>(30000, pack.size() - at));
      }
      conv.Finish();
      ClearFileWriteFault();
      ASSERT_EQ(conv.OutputError(), ENOSPC);
      EXPECT_EQ(testutil::ReadAllBytes(out).size(), cut);

      ch10convertprocessclass whole(dir_.FreshFile("whole.ch10"), *setup_);
      ASSERT_TRUE(whole.Start());
      ASSERT_TRUE(whole.AcceptPackedBytes(pack.data(), static_cast<size_t>(pcm_whole) * full));
      EXPECT_EQ(conv.PcmPacketCount(), pcm_whole);
      // The first time packet is counted with the timing, before it is written.
      EXPECT_EQ(conv.TimePacketCount(), std::max<int64_t>(time_whole, 1));
      EXPECT_EQ(conv.CurrentArchiveTime(), whole.CurrentArchiveTime());
      EXPECT_EQ(conv.Ch10StopTime(), whole.CurrentArchiveTime());
      EXPECT_EQ(conv.RelativeSeconds(), whole.RelativeSeconds());
    }
    EXPECT_EQ(boxes_.size(), failed_runs);  // one report per failed run
    boxes_.clear();
  }
}

TEST_F(Ch10Converter, Ch10FileThatCannotBeCreatedIsReported) {
  const std::string out = dir_.File("no-such-folder/o.ch10");
  ch10convertprocessclass conv(out, *setup_);
  EXPECT_FALSE(conv.Start());
  EXPECT_TRUE(conv.OutputFailed());
  EXPECT_EQ(conv.OutputError(), ENOENT);
  const std::vector<uint8_t> pack(12496 * 2, 0x77);
  EXPECT_FALSE(conv.AcceptPackedBytes(pack.data(), pack.size()));
  conv.Finish();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
  EXPECT_NE(boxes_[0].find(out), std::string::npos);
  EXPECT_NE(boxes_[0].find(SystemErrorText(ENOENT)), std::string::npos);
}

}  // namespace
