// Whole conversions through the built command-line converter: the Chapter
// 10 file carries every archive frame and fill frame bit for bit, time
// packets come about once per second with the right BCD times, and the
// notes agree with what the file holds.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

using e2e::ExpectedStream;

struct Conversion {
  testutil::TempDir dir;
  mkarchive::ArchiveSettings settings;
  e2e::CliRun run;
  std::string ch10_path;
  std::string notes_path;
  std::vector<testutil::Ch10Packet> packets;
  std::string notes;

  // Writes the archive `base`.Ark and converts it.
  // Callers check HasFatalFailure() after it.
  void Convert(const std::string& base, const std::string& options = "--quiet") {
    const std::string archive = dir.File(base + ".Ark");
    std::string error;
    ASSERT_TRUE(mkarchive::WriteArchive(archive, settings, &error)) << error;
    run = e2e::RunConverter(dir.path(), options + " '" + archive + "'");
    ch10_path = dir.File("Ch10Conversion/" + base + ".ch10");
    notes_path = dir.File("Ch10Conversion/" + base + ".CvtNotes");
    ASSERT_TRUE(testutil::ReadCh10File(ch10_path, packets, error)) << error;
    notes = testutil::ReadAllText(notes_path);
  }
};

// Every packet framed right, TMATS then the first time packet, then PCM
// and time packets with their own sequence counters.
void CheckFraming(const std::vector<testutil::Ch10Packet>& packets) {
  ASSERT_GE(packets.size(), 2u);
  EXPECT_EQ(packets[0].channel, testutil::kCh10TmatsChannel);
  EXPECT_EQ(packets[0].data_type, testutil::kCh10TmatsType);
  EXPECT_EQ(packets[1].channel, testutil::kCh10TimeChannel);
  uint8_t next_sequence[3] = {0, 0, 0};
  for (size_t i = 0; i < packets.size(); ++i) {
    const testutil::Ch10Packet& p = packets[i];
    EXPECT_TRUE(p.ChecksumsGood()) << "packet " << i;
    EXPECT_EQ(p.packet_length % 4, 0u) << "packet " << i;
    ASSERT_LE(p.channel, 2) << "packet " << i;
    EXPECT_EQ(p.sequence, next_sequence[p.channel]) << "packet " << i;
    next_sequence[p.channel] = static_cast<uint8_t>(p.sequence + 1);
    if (i > 0) {
      EXPECT_NE(p.channel, testutil::kCh10TmatsChannel) << "packet " << i;
    }
    if (p.channel == testutil::kCh10PcmChannel) {
      EXPECT_EQ(p.data_type, testutil::kCh10PcmType);
      EXPECT_EQ(p.ChannelWord(), testutil::kCh10PcmChannelWord);
    }
  }
}

struct TimingSummary {
  int time_packets = 0;
  int pcm_packets = 0;
  double end_time = 0.0;
};

// Replays the stream's timing from the PCM data itself: a time packet
// follows the PCM packet that brings the archive time 0.9 s or more past the
// previous one, carries that time in BCD (to the 10 ms digit) and the
// relative time of the next data bit.
TimingSummary CheckTiming(const std::vector<testutil::Ch10Packet>& packets, double start,
                          double bit_rate, bool leap) {
  TimingSummary summary;
  double data_bits = 0.0;
  double last_time_packet = start;
  double last_pcm_duration = 0.0;
  bool previous_was_pcm = false;
  for (size_t i = 1; i < packets.size(); ++i) {
    const testutil::Ch10Packet& p = packets[i];
    const double elapsed = data_bits / bit_rate;
    const double now = start + elapsed;
    const double rtc = std::floor(elapsed * 1e7);
    EXPECT_NEAR(static_cast<double>(p.rtc), rtc, 2.0) << "packet " << i;
    if (p.channel == testutil::kCh10PcmChannel) {
      last_pcm_duration = static_cast<double>(p.body.size() - 4) * 8.0 / bit_rate;
      data_bits += static_cast<double>(p.body.size() - 4) * 8.0;
      ++summary.pcm_packets;
      previous_was_pcm = true;
      continue;
    }
    testutil::Ch10DayTime t;
    EXPECT_TRUE(testutil::DecodeCh10TimeBody(p.body, t)) << "packet " << i;
    EXPECT_TRUE(t.digits_valid) << "packet " << i;
    EXPECT_TRUE(t.tail_zero) << "packet " << i;
    EXPECT_EQ(t.channel_word, leap ? 0x1F0u : 0xF0u) << "packet " << i;
    // BCD keeps whole 10 ms of the time (to the nearest microsecond): a
    // time a hair below a 10 ms step, as summed packet durations often are,
    // still reads as that step.
    const double expected_bcd = std::floor(std::round(now * 1e6) / 1e4) / 100.0;
    EXPECT_NEAR(t.DayOfYearSeconds(), expected_bcd, 2e-6) << "packet " << i;
    ++summary.time_packets;
    if (i == 1) continue;  // the first, at the start time
    EXPECT_TRUE(previous_was_pcm) << "time packet " << i << " does not follow a PCM packet";
    // The writer compares its own running sums; a replay from the data
    // bits may differ from them in the last bits, hence the 1 us margin.
    EXPECT_GE(now - last_time_packet, 0.9 - 1e-6) << "packet " << i;
    EXPECT_LT(now - last_time_packet, 0.9 + last_pcm_duration + 1e-6) << "packet " << i;
    last_time_packet = now;
    previous_was_pcm = false;
  }
  summary.end_time = start + data_bits / bit_rate;
  // No second of data goes without its time packet.
  EXPECT_LT(summary.end_time - last_time_packet, 0.9 + 1e-6);
  return summary;
}

// The whole check of one complete conversion against the generator.
void CheckConversion(const Conversion& c, const ExpectedStream& expected) {
  // Damaged frame stamps are converted and reported: exit status 3.
  EXPECT_EQ(c.run.status, expected.damaged > 0 ? 3 : 0) << c.run.out << c.run.err;
  EXPECT_EQ(c.run.err.find(" out of step and kept in place") != std::string::npos, expected.damaged > 0)
      << c.run.err;
  EXPECT_NE(c.run.out.find("Conversion Complete"), std::string::npos) << c.run.out;
  CheckFraming(c.packets);

  const std::vector<uint8_t> payload = testutil::ConcatenatePcmPayloads(c.packets);
  EXPECT_EQ(e2e::CompareFrames(payload, expected), "");
  EXPECT_GT(expected.frames.size(), expected.archive_frames.size() - 1);

  const double start = expected.archive_frames.front().time;
  const double bit_rate = static_cast<double>(expected.bits_per_frame) * c.settings.frame_rate_hz;
  const bool leap = (c.settings.year % 4 == 0 && c.settings.year % 100 != 0) || c.settings.year % 400 == 0;
  TimingSummary timing = CheckTiming(c.packets, start, bit_rate, leap);
  // About one time packet per second of data.
  const double seconds = timing.end_time - start;
  EXPECT_GE(timing.time_packets, static_cast<int>(seconds / 1.0));
  EXPECT_LE(timing.time_packets, static_cast<int>(seconds / 0.9) + 1);

  auto notes = e2e::NotesValues(c.notes);
  auto count = [](double v) { return std::to_string(static_cast<long long>(v)); };
  EXPECT_EQ(notes["Ark file Vald Frame Count"], count(expected.valid));
  EXPECT_EQ(notes["Ark file Invald Frame Count"], count(expected.missed));
  EXPECT_EQ(notes["Ark file Total Frame Count"], count(expected.valid + expected.missed));
  EXPECT_EQ(notes["Ch10 file Time Packet Count"], std::to_string(timing.time_packets));
  EXPECT_EQ(notes["Ch10 file PCM Packet Count"], std::to_string(timing.pcm_packets));
  EXPECT_EQ(notes["Ark file Start Time"], e2e::FormatDayTime(start));
  EXPECT_EQ(notes["Ch10 file Start Time"], e2e::FormatDayTime(start));
  EXPECT_EQ(notes["Ch10 file Stop Time"], e2e::FormatDayTime(timing.end_time));
  EXPECT_EQ(notes["WPF"], std::to_string(c.settings.words_per_frame));
  EXPECT_EQ(notes["Bits Per Minor"], std::to_string(expected.bits_per_frame));
  // The pack file is gone; nothing but the two outputs is left.
  EXPECT_FALSE(testutil::ReadAllBytes(c.ch10_path).empty());
}

TEST(EndToEnd, SixteenBitWordsWithGapsAndStatusBytes) {
  Conversion c;
  c.settings.words_per_frame = 32;
  c.settings.common_word_length = 16;
  c.settings.frames_per_block = 16;
  c.settings.status_bytes_per_block = 16;
  c.settings.frame_count = 6000;
  c.settings.gaps = {{500, 3}, {2000, 40}, {4100, 1}};
  c.settings.status_a_every = 7;
  c.settings.year = 2024;
  c.settings.setup_file.write = true;
  c.Convert("SIXTEEN");
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  ExpectedStream expected = e2e::BuildExpectedStream(c.settings);
  // One fill frame per lost frame: the gaps drop 3, 40 and 1 frames.
  EXPECT_EQ(expected.frames.size() - expected.archive_frames.size(), 3u + 40 + 1);
  CheckConversion(c, expected);
  EXPECT_FALSE(testutil::ReadAllBytes(c.dir.File("Ch10Conversion/SIXTEEN.arkpak")).size());
}

TEST(EndToEnd, TwelveBitWordsWithRepeatedAndBackwardTimes) {
  Conversion c;
  c.settings.words_per_frame = 24;
  c.settings.common_word_length = 12;
  c.settings.frames_per_block = 8;
  c.settings.frame_rate_hz = 2000.0;
  c.settings.sync_pattern = 0xFAF320;
  c.settings.sync_bits = 24;
  c.settings.frame_count = 9000;
  c.settings.year = 2023;
  c.settings.start_time = 365 * 86400.0 + 23 * 3600.0 + 59 * 60.0 + 57.5;  // runs past midnight
  // Frame 1000 repeats its predecessor's time; frame 3000 jumps back 2 ms.
  c.settings.time_shifts = {{1000, -500, false}, {3000, -2000, false}};
  c.settings.gaps = {{6000, 1}};
  c.settings.setup_file.write = true;
  c.Convert("TWELVE");
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  ExpectedStream expected = e2e::BuildExpectedStream(c.settings);
  EXPECT_EQ(expected.missed, expected.frames.size() - expected.archive_frames.size());
  // The repeated and the backward stamp are damaged stamps (the frame after
  // each is in its place): only the gap of one frame is filled.
  EXPECT_EQ(expected.missed, 1);
  EXPECT_EQ(expected.damaged, 2);
  CheckConversion(c, expected);
}

TEST(EndToEnd, VariableWordLengthsWithMixedJustification) {
  Conversion c;
  c.settings.words_per_frame = 20;
  c.settings.common_word_length = 16;
  c.settings.word_lengths = {16, 16, 8, 12, 4, 16, 10, 1, 15, 3, 16, 9};
  c.settings.left_justified = {0, 0, 1, 1, 0, 0, 1, 0, 1, 0, 0, 1};
  c.settings.dirty_unused_bits = true;
  c.settings.frames_per_block = 4;
  c.settings.frame_rate_hz = 500.0;
  c.settings.frame_count = 3001;
  c.settings.gaps = {{10, 2}};
  c.settings.status_bytes_per_block = 8;
  c.settings.setup_file.write = true;
  c.Convert("VARIABLE");
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  ExpectedStream expected = e2e::BuildExpectedStream(c.settings);
  CheckConversion(c, expected);
  auto notes = e2e::NotesValues(c.notes);
  EXPECT_EQ(notes["Variable Word Lengths"], "YES");
}

TEST(EndToEnd, NoSetupFileUsesThePromptAnswers) {
  Conversion c;
  c.settings.words_per_frame = 16;
  c.settings.common_word_length = 12;
  c.settings.sfid_word = 4;  // words 1 to 3 hold the 32-bit sync pattern
  c.settings.frames_per_block = 16;
  c.settings.frame_count = 4000;
  c.settings.setup_file.write = false;
  c.Convert("PROMPTED", "--quiet --word-length 12 --sfid-msb 3");
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  ExpectedStream expected = e2e::BuildExpectedStream(c.settings);
  CheckConversion(c, expected);
  auto notes = e2e::NotesValues(c.notes);
  EXPECT_EQ(notes["CWL"], "12");
  EXPECT_EQ(notes["SFID MSB"], "3");
}

}  // namespace
