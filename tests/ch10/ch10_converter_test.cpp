// ch10convertprocessclass: timing set-up, the TMATS packet, sequence
// counters, PCM packet sizes and relative time counters, and how output
// failures are reported.
#include "ch10/ch10_converter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/ark_header.h"
#include "common/ch10_file_reader.h"
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
    auto setup = MakeSetup(c.bits, c.rate);
    ch10convertprocessclass conv(dir_.File("p.arkpak"), dir_.File("o.ch10"), *setup);
    conv.SetUpTiming();
    EXPECT_EQ(conv.WordsPerPacket, c.words) << c.bits << " x " << c.rate;
    EXPECT_EQ(conv.WordsPerPacket % 4, 0);
  }
}

TEST_F(Ch10Converter, TimingAtOneMegabit) {
  auto setup = MakeSetup(1000, 1000.0);
  testutil::WriteAllBytes(dir_.File("p.arkpak"), "12345678", 8);
  ch10convertprocessclass conv(dir_.File("p.arkpak"), dir_.File("o.ch10"), *setup);
  conv.SetUpTiming();
  EXPECT_DOUBLE_EQ(conv.BitRate, 1000000.0);
  EXPECT_DOUBLE_EQ(conv.PacketDuration, 0.099968);
  EXPECT_DOUBLE_EQ(conv.CounterWrapPeriod, 28147497.6710655);
  EXPECT_EQ(conv.RelativeSeconds, 0.0);
  EXPECT_EQ(conv.CurrentArchiveTime, setup->StartTime);
  EXPECT_EQ(conv.Ch10StartTime, setup->StartTime);
  EXPECT_EQ(conv.Ch10StopTime, setup->StartTime);
  EXPECT_EQ(conv.PcmPacketCount, 0.0);
  EXPECT_EQ(conv.TimePacketCount, 1.0);
  EXPECT_EQ(conv.PackFileSize, 8.0);
  EXPECT_EQ(conv.PcmBytesConverted, 0.0);
}

TEST_F(Ch10Converter, TmatsPacketComesFirstOnChannelZero) {
  auto setup = MakeSetup(256, 1000.0);
  const std::string out = dir_.File("o.ch10");
  {
    ch10convertprocessclass conv(dir_.File("none.arkpak"), out, *setup);
    ASSERT_TRUE(conv.CreateCh10File(out));
    conv.WriteTmatsPacket();
    ASSERT_FALSE(conv.TmatsLines.empty());
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
    for (const std::string& line : conv.TmatsLines) text += line + ";\r\n";
    EXPECT_EQ(p.PayloadText(), text);
    EXPECT_EQ(p.data_length, 4 + text.size());
  }
}

TEST_F(Ch10Converter, TmatsFillerForEveryBodyLengthRemainder) {
  // Word tables of different sizes give TMATS texts of different lengths;
  // whatever the remainder, the packet stays a multiple of 4 bytes.
  bool seen[4] = {false, false, false, false};
  for (int32_t words = 1; words <= 40; ++words) {
    auto setup = MakeSetup(16 * words, 100.0);
    setup->WordTable[0].iWdLen = 12;  // one odd length makes the text vary
    const std::string out = dir_.File("t.ch10");
    ch10convertprocessclass conv(dir_.File("none.arkpak"), out, *setup);
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
  auto setup = MakeSetup(16 * kWordTableEntries, 1.0);
  for (int i = 0; i < kWordTableEntries; i += 2) setup->WordTable[i].iWdLen = 12;
  setup->VariableWordLengths = true;
  const std::string out = dir_.File("big.ch10");
  ch10convertprocessclass conv(dir_.File("none.arkpak"), out, *setup);
  ASSERT_TRUE(conv.CreateCh10File(out));
  conv.WriteTmatsPacket();
  conv.WriteTimePacket(0, 0.0, setup->StartTime);
  conv.CloseCh10File();
  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_GT(packets[0].data_length, 100000u);
  EXPECT_TRUE(packets[0].ChecksumsGood());
  EXPECT_EQ(packets[0].packet_length % 4, 0u);
  std::string text;
  for (const std::string& line : conv.TmatsLines) text += line + ";\r\n";
  EXPECT_TRUE(packets[0].PayloadText() == text);
  EXPECT_TRUE(packets[1].ChecksumsGood());
}

TEST_F(Ch10Converter, PacketLargerThanTheAssemblyBufferGrowsIt) {
  auto setup = MakeSetup(1000, 1000.0);
  std::vector<uint8_t> pack(1300000);
  for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(i ^ (i >> 9));
  testutil::WriteAllBytes(dir_.File("p.arkpak"), pack.data(), pack.size());
  const std::string out = dir_.File("o.ch10");
  ch10convertprocessclass conv(dir_.File("p.arkpak"), out, *setup);
  ASSERT_TRUE(conv.OpenPackFile(dir_.File("p.arkpak")));
  ASSERT_TRUE(conv.CreateCh10File(out));
  conv.SetUpTiming();
  bool end = false;
  conv.WritePcmPacket(600000, end, 0.0);  // 1,200,000 data bytes
  conv.WritePcmPacket(600000, end, 0.0);
  conv.CloseCh10File();
  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].data_length, 1200004u);
  EXPECT_TRUE(packets[0].ChecksumsGood());
  EXPECT_TRUE(packets[1].ChecksumsGood());
  EXPECT_TRUE(testutil::ConcatenatePcmPayloads(packets) == pack);
}

TEST_F(Ch10Converter, TimePacketSequenceWrapsAfter256) {
  auto setup = MakeSetup(1000, 1000.0);
  const std::string out = dir_.File("o.ch10");
  {
    ch10convertprocessclass conv(dir_.File("none.arkpak"), out, *setup);
    ASSERT_TRUE(conv.CreateCh10File(out));
    for (int i = 0; i < 258; ++i) conv.WriteTimePacket(1, 1.0 * i, setup->StartTime + i);
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
  EXPECT_EQ(packets[0].header,
            (std::vector<uint8_t>{0x25, 0xEB, 0x01, 0x00, 0x5C, 0x00, 0x00, 0x00,
                                  0x40, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x11,
                                  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC7, 0xFC}));
}

TEST_F(Ch10Converter, TimePacketBodyIsRebuiltInTheReusedBuffer) {
  // A PCM packet leaves data in the assembly buffer; the time packet that
  // follows must still carry 54 zero bytes.
  auto setup = MakeSetup(1000, 1000.0);
  std::vector<uint8_t> pack(12500, 0xA5);
  testutil::WriteAllBytes(dir_.File("p.arkpak"), pack.data(), pack.size());
  const std::string out = dir_.File("o.ch10");
  {
    ch10convertprocessclass conv(dir_.File("p.arkpak"), out, *setup);
    ASSERT_TRUE(conv.OpenPackFile(dir_.File("p.arkpak")));
    ASSERT_TRUE(conv.CreateCh10File(out));
    conv.SetUpTiming();
    bool end = false;
    conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
    ASSERT_FALSE(end);
    conv.WriteTimePacket(0, 0.099968, 86400.0 * 123 + 45296.789);
    conv.ClosePackFile();
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

TEST_F(Ch10Converter, PcmPacketsCarryTheirRelativeTimeAndSequence) {
  auto setup = MakeSetup(1000, 1000.0);  // 12,496 data bytes per packet
  std::vector<uint8_t> pack(12496 * 3);
  for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(i * 7 + 3);
  testutil::WriteAllBytes(dir_.File("p.arkpak"), pack.data(), pack.size());
  const std::string out = dir_.File("o.ch10");
  ch10convertprocessclass conv(dir_.File("p.arkpak"), out, *setup);
  ASSERT_TRUE(conv.OpenPackFile(dir_.File("p.arkpak")));
  ASSERT_TRUE(conv.CreateCh10File(out));
  conv.SetUpTiming();
  bool end = true;
  conv.WritePcmPacket(conv.WordsPerPacket, end, 1.5);
  EXPECT_FALSE(end);
  EXPECT_EQ(conv.LastPacketDataBytes, 12496);
  EXPECT_EQ(conv.LastPacketDuration, conv.PacketDuration);
  conv.WritePcmPacket(conv.WordsPerPacket, end, 500.0);
  conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
  EXPECT_FALSE(end);
  conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);  // exactly 3 packets: the 4th finds the end
  EXPECT_TRUE(end);
  EXPECT_EQ(conv.LastPacketDataBytes, 0);
  conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
  EXPECT_TRUE(end);
  conv.ClosePackFile();
  conv.CloseCh10File();

  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(packets[i].ChecksumsGood());
    EXPECT_EQ(packets[i].channel, 2);
    EXPECT_EQ(packets[i].data_type, 0x09);
    EXPECT_EQ(packets[i].sequence, i);
    EXPECT_EQ(packets[i].data_length, 12500u);
    EXPECT_EQ(packets[i].packet_length, 12528u);
    EXPECT_EQ(packets[i].ChannelWord(), 0x00100000u);
  }
  EXPECT_EQ(std::vector<uint8_t>(packets[0].header.begin() + 16, packets[0].header.begin() + 22),
            (std::vector<uint8_t>{0xC0, 0xE1, 0xE4, 0x00, 0x00, 0x00}));
  EXPECT_EQ(testutil::Ch10ReadLe32(packets[1].header.data() + 16), 0x2A05F200u);
  EXPECT_EQ(testutil::Ch10ReadLe16(packets[1].header.data() + 20), 0x0001);
  EXPECT_EQ(testutil::ConcatenatePcmPayloads(packets), pack);
}

TEST_F(Ch10Converter, LargestPacketsAtTheCap) {
  auto setup = MakeSetup(2048, 10240.0);  // 20,971,520 bit/s
  std::vector<uint8_t> pack(262144 + 1000, 0x3C);
  testutil::WriteAllBytes(dir_.File("p.arkpak"), pack.data(), pack.size());
  const std::string out = dir_.File("o.ch10");
  ch10convertprocessclass conv(dir_.File("p.arkpak"), out, *setup);
  ASSERT_TRUE(conv.OpenPackFile(dir_.File("p.arkpak")));
  ASSERT_TRUE(conv.CreateCh10File(out));
  conv.SetUpTiming();
  bool end = false;
  while (!end) conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
  conv.CloseCh10File();
  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].data_length, 262148u);
  EXPECT_EQ(packets[0].packet_length, 262176u);
  EXPECT_EQ(packets[1].data_length, 1004u);
  EXPECT_TRUE(packets[0].ChecksumsGood());
  EXPECT_TRUE(packets[1].ChecksumsGood());
}

TEST_F(Ch10Converter, SlowStreamStillEnds) {
  auto setup = MakeSetup(16, 20.0);  // 320 bit/s: the minimum of 4 words
  std::vector<uint8_t> pack(30);
  for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(i + 1);
  testutil::WriteAllBytes(dir_.File("p.arkpak"), pack.data(), pack.size());
  const std::string out = dir_.File("o.ch10");
  ch10convertprocessclass conv(dir_.File("p.arkpak"), out, *setup);
  ASSERT_TRUE(conv.OpenPackFile(dir_.File("p.arkpak")));
  ASSERT_TRUE(conv.CreateCh10File(out));
  conv.SetUpTiming();
  ASSERT_EQ(conv.WordsPerPacket, 4);
  EXPECT_DOUBLE_EQ(conv.PacketDuration, 0.2);
  bool end = false;
  int calls = 0;
  while (!end && calls < 100) {
    conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
    ++calls;
  }
  EXPECT_EQ(calls, 5);  // 3 full packets of 8 bytes, a short one of 6 -> 8, the end
  conv.CloseCh10File();
  const auto packets = ReadPackets(out);
  ASSERT_EQ(packets.size(), 4u);
  std::vector<uint8_t> padded = pack;
  padded.resize(32, 0);
  EXPECT_EQ(testutil::ConcatenatePcmPayloads(packets), padded);
}

TEST_F(Ch10Converter, MissingPackFileGivesNoPcmPacket) {
  auto setup = MakeSetup(1000, 1000.0);
  const std::string out = dir_.File("o.ch10");
  ch10convertprocessclass conv(dir_.File("missing.arkpak"), out, *setup);
  EXPECT_FALSE(conv.OpenPackFile(dir_.File("missing.arkpak")));
  ASSERT_TRUE(conv.CreateCh10File(out));
  conv.SetUpTiming();
  EXPECT_EQ(conv.PackFileSize, -1.0);
  bool end = false;
  conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
  EXPECT_TRUE(end);
  conv.CloseCh10File();
  EXPECT_FALSE(conv.OutputFailed());
  EXPECT_TRUE(testutil::ReadAllBytes(out).empty());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].find("missing.arkpak"), std::string::npos);
}

TEST_F(Ch10Converter, PackReadErrorEndsTheInputAndIsLoggedOnce) {
  // Reading this process's memory file from offset 0 fails with EIO: a pack
  // file that opens but cannot be read.
  const std::string unreadable = "/proc/self/mem";
  if (!FileExists(unreadable)) GTEST_SKIP() << "no " << unreadable;
  auto setup = MakeSetup(1000, 1000.0);
  const std::string out = dir_.File("o.ch10");
  ch10convertprocessclass conv(unreadable, out, *setup);
  ASSERT_TRUE(conv.OpenPackFile(unreadable));
  ASSERT_TRUE(conv.CreateCh10File(out));
  bool end = false;
  conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
  EXPECT_TRUE(end);
  EXPECT_EQ(conv.LastPacketDataBytes, 0);
  // The following calls find the end without another read or report.
  end = false;
  conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
  EXPECT_TRUE(end);
  conv.ClosePackFile();
  conv.CloseCh10File();
  EXPECT_FALSE(conv.OutputFailed());
  EXPECT_TRUE(testutil::ReadAllBytes(out).empty());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
  EXPECT_EQ(boxes_[0].rfind("ERROR|", 0), 0u) << boxes_[0];
  EXPECT_NE(boxes_[0].find("Unable to read pack file " + unreadable), std::string::npos)
      << boxes_[0];
}

TEST_F(Ch10Converter, ShortLastPacketForEveryRemainder) {
  // Pack files that end 1 to 8 bytes into a packet of 8 data bytes: the
  // last packet holds what is left, zero-padded to a 4-byte unit, and the
  // call after it finds the end of input.
  auto setup = MakeSetup(16, 20.0);  // the minimum of 4 words: 8 data bytes
  for (size_t extra = 1; extra <= 8; ++extra) {
    std::vector<uint8_t> pack(16 + extra);
    for (size_t i = 0; i < pack.size(); ++i) pack[i] = static_cast<uint8_t>(0xC0 + i);
    const std::string pack_path = dir_.File("p.arkpak");
    testutil::WriteAllBytes(pack_path, pack.data(), pack.size());
    const std::string out = dir_.File("o.ch10");
    ch10convertprocessclass conv(pack_path, out, *setup);
    ASSERT_TRUE(conv.OpenPackFile(pack_path));
    ASSERT_TRUE(conv.CreateCh10File(out));
    conv.SetUpTiming();
    bool end = false;
    for (int full = 0; full < 2; ++full) {
      conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
      ASSERT_FALSE(end);
      EXPECT_EQ(conv.LastPacketDataBytes, 8);
    }
    conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
    ASSERT_FALSE(end) << extra;
    const int64_t padded = static_cast<int64_t>((extra + 3) / 4 * 4);
    EXPECT_EQ(conv.LastPacketDataBytes, padded) << extra;
    EXPECT_DOUBLE_EQ(conv.LastPacketDuration, padded * 8 / 320.0) << extra;
    conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
    EXPECT_TRUE(end) << extra;
    EXPECT_EQ(conv.LastPacketDataBytes, 0);
    EXPECT_EQ(conv.LastPacketDuration, 0.0);
    conv.ClosePackFile();
    conv.CloseCh10File();

    const auto packets = ReadPackets(out);
    ASSERT_EQ(packets.size(), 3u) << extra;
    for (const auto& p : packets) EXPECT_TRUE(p.ChecksumsGood()) << extra;
    EXPECT_EQ(packets[2].data_length, 4u + padded) << extra;
    std::vector<uint8_t> expected = pack;
    expected.resize(16 + static_cast<size_t>(padded), 0);
    EXPECT_EQ(testutil::ConcatenatePcmPayloads(packets), expected) << extra;
  }
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(Ch10Converter, WriteFailureIsReportedOnceAndStopsTheOutput) {
  auto setup = MakeSetup(1000, 1000.0);
  std::vector<uint8_t> pack(12496 * 4, 0x5A);
  testutil::WriteAllBytes(dir_.File("p.arkpak"), pack.data(), pack.size());
  const std::string out = dir_.File("fault.ch10");
  ch10convertprocessclass conv(dir_.File("p.arkpak"), out, *setup);
  ASSERT_TRUE(conv.OpenPackFile(dir_.File("p.arkpak")));
  ASSERT_TRUE(conv.CreateCh10File(out));
  conv.SetUpTiming();
  conv.WriteTimePacket(0, 0.0, setup->StartTime);
  // Room for the time packet and part of the first PCM packet only.
  SetFileWriteFault("fault.ch10", 1000, ENOSPC);
  bool end = false;
  conv.WritePcmPacket(conv.WordsPerPacket, end, 0.0);
  EXPECT_TRUE(conv.OutputFailed());
  EXPECT_EQ(conv.OutputError(), ENOSPC);
  conv.WritePcmPacket(conv.WordsPerPacket, end, 0.1);
  conv.WriteTimePacket(0, 0.2, setup->StartTime + 0.2);
  conv.CloseCh10File();
  EXPECT_EQ(conv.OutputError(), ENOSPC);

  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
  EXPECT_EQ(boxes_[0].rfind("ERROR|", 0), 0u) << boxes_[0];
  EXPECT_NE(boxes_[0].find(out), std::string::npos) << boxes_[0];
  EXPECT_NE(boxes_[0].find(SystemErrorText(ENOSPC)), std::string::npos) << boxes_[0];
  // Nothing after the failed packet reached the file.
  EXPECT_EQ(testutil::ReadAllBytes(out).size(), 92u + 1000u);
}

TEST_F(Ch10Converter, Ch10FileThatCannotBeCreatedIsReported) {
  auto setup = MakeSetup(1000, 1000.0);
  const std::string out = dir_.File("no-such-folder/o.ch10");
  ch10convertprocessclass conv(dir_.File("p.arkpak"), out, *setup);
  EXPECT_FALSE(conv.CreateCh10File(out));
  EXPECT_TRUE(conv.OutputFailed());
  EXPECT_EQ(conv.OutputError(), ENOENT);
  conv.WriteTmatsPacket();
  conv.WriteTimePacket(0, 0.0, setup->StartTime);
  conv.CloseCh10File();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
  EXPECT_NE(boxes_[0].find(out), std::string::npos);
  EXPECT_NE(boxes_[0].find(SystemErrorText(ENOENT)), std::string::npos);
}

}  // namespace
