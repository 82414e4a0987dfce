// The archive's start and stop times: the header's time lines, the first
// frame, the last block's time with its bounds, the stop-time estimate, and
// the block size those rely on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "common/log_session.h"
#include "common/test_helpers.h"
#include "mkarchive/archive_generator.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace {

using testutil::CountOf;
using testutil::LogSession;

const char kStopWarning[] =
    "Can't read valid file stop time, or start = stop ...calculating the stop time";

class ArchiveTimesTest : public ::testing::Test {
 protected:
  void Write(const mkarchive::ArchiveSettings& settings) {
    std::string error;
    ASSERT_TRUE(mkarchive::WriteArchive(path_, settings, &error)) << error;
  }
  void WriteHeaderOnly(const mkarchive::ArchiveSettings& settings) {
    testutil::WriteAllText(path_, mkarchive::HeaderText(settings));
  }
  double Estimate(const orloarkclass& ark) const {
    return orloarkclass::EstimateStopTime(ark.Header().StartTime, ark.BlockDuration(),
                                          ark.Header().BlockSize, ark.HeaderBytes(),
                                          static_cast<double>(ark.FileSize()));
  }

  testutil::TempDir dir_;
  testutil::BeepRecorder beeps_;
  std::string path_ = dir_.File("times.Ark");
};

TEST_F(ArchiveTimesTest, StartTimeIsTheFirstFrameTime) {
  mkarchive::ArchiveSettings settings;
  settings.start_time = 200 * 86400.0 + 3 * 3600 + 0.25;
  settings.frame_count = 300;
  Write(settings);
  const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
  LogSession log(dir_.path());
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  EXPECT_DOUBLE_EQ(ark.FirstFrameTime(), layout.first_frame_time);
  EXPECT_DOUBLE_EQ(ark.Header().StartTime, layout.first_frame_time);
  EXPECT_DOUBLE_EQ(ark.Header().StopTime, layout.last_block_time);
  EXPECT_EQ(ark.Header().ArchiveYear, 2024);
  const std::string text = log.EndAndRead();
  EXPECT_EQ(text.find(kStopWarning), std::string::npos) << text;
}

TEST_F(ArchiveTimesTest, HeaderStartTimeStandsWhenThereIsNoBlock) {
  mkarchive::ArchiveSettings settings;
  settings.line_overrides = {{2, "START TIME: YEAR 100:01:02:03.5"},
                         {3, "STOP TIME: 101:00:00:00.0 YEAR 2024"}};
  WriteHeaderOnly(settings);
  LogSession log(dir_.path());
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  EXPECT_EQ(ark.Header().ArchiveYear, 100);  // the digits after "YEAR"
  EXPECT_DOUBLE_EQ(ark.Header().StartTime, 100 * 86400.0 + 3723.5);
  EXPECT_DOUBLE_EQ(ark.FirstFrameTime(), 100 * 86400.0 + 3723.5);
  EXPECT_DOUBLE_EQ(ark.Header().StopTime, 101 * 86400.0);
  EXPECT_TRUE(ark.EndOfData());
  const std::string text = log.EndAndRead();
  EXPECT_EQ(text.find(kStopWarning), std::string::npos) << text;
  EXPECT_EQ(text.find("GroupReadToBufs"), std::string::npos) << text;
}

TEST_F(ArchiveTimesTest, StartLineTimeAndYearRules) {
  struct Case {
    const char* line;
    int32_t year;
    double start;
  };
  const Case cases[] = {
      // The text after "YEAR" is not a day time: start 0, the year still read.
      {"START TIME: 045:00:00:00.0 YEAR 2023", 2023, 0.0},
      {"START TIME: 045:00:00:00.0 YEAR 2023 046:00:00:00.0", 2023, 0.0},
      // Without "YEAR" the whole value is the time and the year is 0.
      {"START TIME: 100:00:00:00.0", 0, 100 * 86400.0},
      {"START TIME: not a time", 0, 0.0},
  };
  for (const Case& c : cases) {
    mkarchive::ArchiveSettings settings;
    settings.line_overrides = {{2, c.line}, {3, "STOP TIME: 300:00:00:00.0 YEAR 2024"}};
    WriteHeaderOnly(settings);
    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_)) << c.line;
    EXPECT_EQ(ark.Header().ArchiveYear, c.year) << c.line;
    EXPECT_DOUBLE_EQ(ark.Header().StartTime, c.start) << c.line;
  }
}

TEST_F(ArchiveTimesTest, InvalidHeaderStopTimeIsEstimatedEvenWithAGoodLastBlock) {
  const char* stop_lines[] = {
      "STOP TIME: 000:00:00:00.0 YEAR 2024",  // 0
      "STOP TIME: garbage YEAR 2024",         // does not parse: 0
      "STOP TIME: 366:23:59:59.0 YEAR 2024",  // above 31,622,400
  };
  for (const char* stop_line : stop_lines) {
    mkarchive::ArchiveSettings settings;
    settings.frame_count = 200;
    settings.line_overrides = {{3, stop_line}};
    Write(settings);
    LogSession log(dir_.path());
    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_)) << stop_line;
    EXPECT_DOUBLE_EQ(ark.Header().StopTime, Estimate(ark)) << stop_line;
    const std::string text = log.EndAndRead();
    EXPECT_NE(text.find("000255  "), std::string::npos);
    EXPECT_NE(text.find(kStopWarning), std::string::npos) << text;
    ASSERT_EQ(log.boxes.size(), 1u);
    EXPECT_EQ(log.boxes[0], std::string("WARNING: ") + kStopWarning);
  }
  EXPECT_EQ(beeps_.Count(BeepKind::Warning), 3);
}

TEST_F(ArchiveTimesTest, StopTimeNotAboveTheHeaderStartIsEstimated) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 64;
  settings.line_overrides = {{2, "START TIME: YEAR 200:00:00:00.0"},
                         {3, "STOP TIME: 200:00:00:00.0 YEAR 2024"}};
  Write(settings);
  LogSession log(dir_.path());
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  // The start time is then the first frame's; the estimate starts there.
  EXPECT_DOUBLE_EQ(ark.Header().StartTime, mkarchive::ComputeLayout(settings).first_frame_time);
  EXPECT_DOUBLE_EQ(ark.Header().StopTime, Estimate(ark));
  EXPECT_NE(log.EndAndRead().find(kStopWarning), std::string::npos);
}

TEST_F(ArchiveTimesTest, LastBlockTimeReplacesTheStopTimeWithinItsBounds) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 100;
  settings.frames_per_block = 10;
  settings.header_stop_time = 250 * 86400.0;  // a valid header stop time
  Write(settings);
  double first = 0;
  {
    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_));
    first = ark.FirstFrameTime();
    EXPECT_DOUBLE_EQ(ark.Header().StopTime, mkarchive::ComputeLayout(settings).last_block_time);
  }
  struct Case {
    double last_block_time;
    bool taken;
  };
  const Case cases[] = {{first, true},
                        {first + 1.0, true},
                        {31535999.5, true},
                        {31536000.0, false},  // read, but not below the end of the year
                        {std::nextafter(first, 0.0), false},
                        {31622400.0, false},
                        {31622400.5, false},
                        {0.0, false},
                        {std::numeric_limits<double>::quiet_NaN(), false}};
  for (const Case& c : cases) {
    settings.last_block_time = c.last_block_time;
    Write(settings);
    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_));
    const double expected = c.taken ? c.last_block_time : 250 * 86400.0;
    EXPECT_EQ(ark.Header().StopTime, expected) << c.last_block_time;
  }
}

TEST_F(ArchiveTimesTest, ReadLastBlockTimeBoundsAndPosition) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 48;
  settings.frames_per_block = 16;
  const double times[] = {1e-7, 31622400.0, 5e-8, 31622400.001, -1.0};
  const bool good[] = {true, true, false, false, false};
  for (int i = 0; i < 5; ++i) {
    settings.last_block_time = times[i];
    Write(settings);
    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_));
    ark.ReadNextBlock();
    const int64_t position = ark.FilePosition();
    double t = 0;
    EXPECT_EQ(ark.ReadLastBlockTime(t), good[i]) << times[i];
    EXPECT_EQ(t, times[i]);
    EXPECT_EQ(ark.FilePosition(), position);
    // Reading goes on where it was.
    ark.ReadNextBlock();
    EXPECT_FALSE(ark.EndOfData());
    EXPECT_EQ(ark.FilePosition(), position + ark.Header().BlockSize);
  }
}

TEST_F(ArchiveTimesTest, LastWholeBlockIsFoundInATruncatedFile) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 40;
  settings.frames_per_block = 8;  // five blocks
  Write(settings);
  const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
  const std::vector<uint8_t> whole = testutil::ReadAllBytes(path_);
  // Keep two and a half blocks: the second block holds the last time.
  const int64_t size = layout.header_bytes + 2 * layout.block_size + layout.block_size / 2;
  testutil::WriteAllBytes(path_, whole.data(), static_cast<size_t>(size));
  double second_block_time = 0;
  std::memcpy(&second_block_time, whole.data() + layout.header_bytes + layout.block_size, 8);
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  double t = 0;
  EXPECT_TRUE(ark.ReadLastBlockTime(t));
  EXPECT_EQ(t, second_block_time);
}

TEST_F(ArchiveTimesTest, NoWholeBlockOrNoFileGivesNoLastBlockTime) {
  orloarkclass ark;
  double t = 5;
  EXPECT_FALSE(ark.ReadLastBlockTime(t));
  EXPECT_EQ(t, -1.0);

  mkarchive::ArchiveSettings settings;
  const std::string header = mkarchive::HeaderText(settings);
  // A header followed by less than one block: nothing before the data start
  // may be taken for a block time.
  testutil::WriteAllText(path_, header + std::string(20, '\x41'));
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  EXPECT_FALSE(ark.ReadLastBlockTime(t));
  EXPECT_EQ(t, -1.0);
  EXPECT_EQ(ark.FilePosition(), static_cast<int64_t>(header.size()));
}

TEST_F(ArchiveTimesTest, BlockSizeOfZeroOrBelowFailsTheLastBlockTime) {
  for (const char* size_line : {"BLOCK SIZE: 0", "BLOCK SIZE: -300"}) {
    mkarchive::ArchiveSettings settings;
    settings.frame_count = 32;
    settings.line_overrides = {{4, size_line}};
    Write(settings);
    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_)) << size_line;
    double t = 0;
    EXPECT_FALSE(ark.ReadLastBlockTime(t)) << size_line;
    // The header's own stop time stands (valid), no last-block time replaced it.
    EXPECT_DOUBLE_EQ(ark.Header().StopTime, mkarchive::ComputeLayout(settings).last_frame_time);
  }
}

TEST_F(ArchiveTimesTest, BlockSizeDisagreeingWithItsFieldsIsWarnedAndReadingGoesOn) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 64;
  settings.frames_per_block = 16;
  settings.line_overrides = {{4, "BLOCK SIZE: 999"}};
  Write(settings);
  const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
  LogSession log(dir_.path());
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  int blocks = 0;
  for (;;) {
    ark.ReadNextBlock();
    if (ark.EndOfData()) break;
    ++blocks;
  }
  EXPECT_EQ(blocks, layout.blocks);
  const std::string text = log.EndAndRead();
  const std::string expected = "Archive Header Block Size 999 Differs From Its Fields, "
                               "12 + Serial + Status Bytes = " +
                               std::to_string(layout.block_size);
  EXPECT_NE(text.find("000255  "), std::string::npos);
  EXPECT_NE(text.find(expected), std::string::npos) << text;
  EXPECT_TRUE(log.boxes.empty());
  EXPECT_EQ(beeps_.Count(BeepKind::Warning), 1);
}

TEST(EstimateStopTimeTest, Cases) {
  // No data after the header.
  EXPECT_EQ(orloarkclass::EstimateStopTime(1000, 0.5, 100, 500, 500), 31536000.0);
  EXPECT_EQ(orloarkclass::EstimateStopTime(1000, 0.5, 100, 500, 400), 31536000.0);
  EXPECT_EQ(orloarkclass::EstimateStopTime(1000, 0.5, 100, 500, -1), 31536000.0);
  // Block size or duration not above 0: start + one day.
  EXPECT_EQ(orloarkclass::EstimateStopTime(1000, 0.5, 0, 500, 1500), 87400.0);
  EXPECT_EQ(orloarkclass::EstimateStopTime(1000, 0.5, -5, 500, 1500), 87400.0);
  EXPECT_EQ(orloarkclass::EstimateStopTime(1000, 0.0, 100, 500, 1500), 87400.0);
  // Blocks times their duration, fractions of a block kept.
  EXPECT_DOUBLE_EQ(orloarkclass::EstimateStopTime(1000, 0.5, 100, 500, 1550), 1005.25);
  // Past the end of the year, or no time at all: start + one day.
  EXPECT_EQ(orloarkclass::EstimateStopTime(31500000, 1000, 100, 0, 10000), 31586400.0);
  EXPECT_EQ(orloarkclass::EstimateStopTime(1e7, 1e-12, 100, 0, 100), 1e7 + 86400);
  EXPECT_EQ(orloarkclass::EstimateStopTime(31535000, 10, 100, 0, 10000), 31536000.0);
}

}  // namespace
