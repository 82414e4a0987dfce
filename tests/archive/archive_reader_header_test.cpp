// Reading the archive's text header: the line rules, the value lines by
// position, the line count limits, the data start offset and the magic line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive_test_support.h"
#include "common/log_session.h"
#include "common/test_helpers.h"
#include "mkarchive/archive_generator.h"
#include "support/error_log.h"
#include "support/platform_file.h"
#include "support/text_format.h"

namespace {

using testutil::CountOf;
using testutil::LogSession;

using archivetest::RawHeader;

class ArchiveHeaderTest : public ::testing::Test {
 protected:
  void Write(const mkarchive::ArchiveSettings& settings) {
    std::string error;
    ASSERT_TRUE(mkarchive::WriteArchive(path_, settings, &error)) << error;
  }

  testutil::TempDir dir_;
  testutil::BeepRecorder beeps_;
  std::string path_ = dir_.File("header.Ark");
};

TEST_F(ArchiveHeaderTest, ReadHeaderLineCountsCrLfLfNulAndEnd) {
  // Magic line first so the object opens; the probe lines follow the header.
  mkarchive::ArchiveSettings settings;
  std::string header = mkarchive::HeaderText(settings);
  const std::string probe = std::string("abc\r\n\r\n\nxy\0z", 12);
  testutil::WriteAllText(path_, header + probe);
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  ark.SeekArk(static_cast<int64_t>(header.size()));

  std::string text;
  int32_t count = 0;
  ark.ReadHeaderLine(text, count);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(count, 4);
  ark.ReadHeaderLine(text, count);
  EXPECT_EQ(text, "");
  EXPECT_EQ(count, 1);
  ark.ReadHeaderLine(text, count);
  EXPECT_EQ(count, 0);
  ark.ReadHeaderLine(text, count);  // "xy" then NUL
  EXPECT_EQ(text, "xy");
  EXPECT_EQ(count, -1);
  ark.ReadHeaderLine(text, count);  // "z" then the end of the file
  EXPECT_EQ(text, "z");
  EXPECT_EQ(count, 0);
  ark.ReadHeaderLine(text, count);
  EXPECT_EQ(text, "");
  EXPECT_EQ(count, -1);
  EXPECT_EQ(ark.FilePosition(), static_cast<int64_t>(header.size() + probe.size()));
}

TEST_F(ArchiveHeaderTest, LongLinesEndAtTheirByteCountPastThreeThousand) {
  mkarchive::ArchiveSettings settings;
  std::string header = mkarchive::HeaderText(settings);
  const std::string probe = std::string(3001, 'a') + "\r\n" + std::string(3003, 'b') + "\r\n";
  testutil::WriteAllText(path_, header + probe);
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  ark.SeekArk(static_cast<int64_t>(header.size()));
  std::string text;
  int32_t count = 0;
  ark.ReadHeaderLine(text, count);  // 3001 characters fit; the CR is skipped at count 3001
  EXPECT_EQ(text, std::string(3001, 'a'));
  EXPECT_EQ(count, 3002);
  ark.ReadHeaderLine(text, count);  // the 3002nd byte ends the line and is dropped
  EXPECT_EQ(text, std::string(3001, 'b'));
  EXPECT_EQ(count, 3001);
  ark.ReadHeaderLine(text, count);  // the rest is a further line
  EXPECT_EQ(text, "b");
  EXPECT_EQ(count, 2);
}

TEST_F(ArchiveHeaderTest, ValueLinesAreReadByPosition) {
  mkarchive::ArchiveSettings settings;
  settings.words_per_frame = 20;
  settings.frames_per_block = 5;
  settings.status_bytes_per_block = 40;  // five status description lines
  settings.status_descriptions = {"ALPHA", "BRAVO", "CHARLIE", "DELTA", "ECHO"};
  settings.frame_rate_hz = 812.5;
  settings.num_minor_frames = 32;
  settings.sfid_start_count = 1;
  settings.sfid_word = 4;
  settings.header_value_1 = 11;
  settings.header_value_6 = 66;
  settings.header_value_9 = 99;
  settings.header_value_16 = 1616;
  settings.header_value_17 = -17;
  settings.year = 2031;
  settings.frame_count = 50;
  settings.setup_file_name = "D:\\SETUPS\\RUN7.B50";
  Write(settings);
  const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);

  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  const arkheaderstruct& h = ark.Header();
  EXPECT_EQ(h.HeaderValue1, 11);
  EXPECT_EQ(h.ArchiveYear, 2031);
  EXPECT_EQ(h.BlockSize, layout.block_size);
  EXPECT_EQ(h.HeaderValue6, 66);
  EXPECT_EQ(h.SerialBytesPerBlock, layout.serial_bytes);
  EXPECT_EQ(h.StatusBytesPerBlock, 40);
  EXPECT_EQ(h.HeaderValue9, 99);
  EXPECT_EQ(h.WordsPerMinorFrame, 20);
  EXPECT_EQ(h.NumMinorFrames, 32);
  EXPECT_EQ(h.SfidStartCount, 1);
  EXPECT_EQ(h.SfidWordNumber, 4);
  EXPECT_TRUE(h.RightAligned);
  EXPECT_EQ(h.FramesPerBlock, 5);
  EXPECT_EQ(h.HeaderValue16, 1616);
  EXPECT_EQ(h.HeaderValue17, -17);
  EXPECT_EQ(h.SetupFileName, " D:\\SETUPS\\RUN7.B50");  // everything after the first ":"
  EXPECT_EQ(h.StatusDescriptions[0], " ALPHA");
  EXPECT_EQ(h.StatusDescriptions[4], " ECHO");
  EXPECT_EQ(h.StatusDescriptions[5], "");
  EXPECT_DOUBLE_EQ(h.MinorFrameRate, 812.5);
  EXPECT_EQ(h.DescriptionTexts[0], " SYNTHETIC ARCHIVE");
  EXPECT_EQ(h.DescriptionTexts[2], " TEST DATA");
  EXPECT_EQ(h.FrameHeaderWords, 5);
  EXPECT_EQ(ark.HeaderBytes(), layout.header_bytes);
  EXPECT_EQ(ark.FileSize(), layout.file_bytes);
  EXPECT_EQ(ark.FilePosition(), layout.header_bytes);
  EXPECT_DOUBLE_EQ(ark.BlockDuration(), 5 / 812.5);
  EXPECT_EQ(ark.SerialBuffer().size(), static_cast<size_t>(layout.serial_bytes));
  EXPECT_EQ(ark.FileName(), path_);
  EXPECT_DOUBLE_EQ(ark.FirstFrameTime(), layout.first_frame_time);
  EXPECT_DOUBLE_EQ(h.StartTime, layout.first_frame_time);
  EXPECT_DOUBLE_EQ(h.StopTime, layout.last_block_time);
}

TEST_F(ArchiveHeaderTest, RightAlignedOnlyForExactlyYes) {
  const char* values[] = {"YES", " YES", "yes", "YES ", "NO"};
  const bool expected[] = {true, false, false, false, false};
  for (int i = 0; i < 5; ++i) {
    mkarchive::ArchiveSettings settings;
    settings.line_overrides = {{14, std::string("RIGHT ALIGNED:") + values[i]}};
    Write(settings);
    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_));
    EXPECT_EQ(ark.Header().RightAligned, expected[i]) << values[i];
  }
}

TEST_F(ArchiveHeaderTest, FullStatusMovesTheLaterLinesBy128) {
  mkarchive::ArchiveSettings settings;
  settings.status_bytes_per_block = 1024;
  settings.frame_rate_hz = 333.25;
  settings.description_texts[1] = "SECOND";
  settings.status_descriptions.assign(128, "S");
  settings.status_descriptions[127] = "LAST";
  settings.frame_count = 32;
  Write(settings);
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  const arkheaderstruct& h = ark.Header();
  EXPECT_EQ(h.StatusDescriptions[127], " LAST");
  EXPECT_DOUBLE_EQ(h.MinorFrameRate, 333.25);
  EXPECT_EQ(h.DescriptionTexts[1], " SECOND");
}

TEST_F(ArchiveHeaderTest, ThreeHundredNinetyNineValueLinesAreReadFourHundredRefused) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 16;
  settings.extra_value_lines.assign(399 - 25, "EXTRA: 1");
  Write(settings);
  {
    orloarkclass ark;
    EXPECT_TRUE(ark.OpenAndReadHeader(path_));
    EXPECT_EQ(ark.HeaderBytes(), mkarchive::ComputeLayout(settings).header_bytes);
  }
  settings.extra_value_lines.push_back("EXTRA: 400");
  Write(settings);
  LogSession log(dir_.path());
  orloarkclass ark;
  EXPECT_FALSE(ark.OpenAndReadHeader(path_));
  EXPECT_EQ(ark.HeaderBytes(), 0);
  EXPECT_TRUE(ark.IsOpen());  // the handle stays open after a corrupt header
  const std::string text = log.EndAndRead();
  EXPECT_NE(text.find("000255  "), std::string::npos);
  EXPECT_NE(text.find("Archive File Appears Corrupt, Could Not Read Header."), std::string::npos)
      << text;
}

TEST_F(ArchiveHeaderTest, TwentyFivePlusNValueLinesIsTheShortestHeader) {
  for (int32_t status_bytes : {0, 16, 1024}) {
    mkarchive::ArchiveSettings settings;
    settings.status_bytes_per_block = status_bytes;
    std::vector<std::string> lines = mkarchive::HeaderValueLines(settings);
    const size_t needed = 25 + status_bytes / 8;
    ASSERT_EQ(lines.size(), needed);
    testutil::WriteAllText(path_, RawHeader(lines));
    {
      orloarkclass ark;
      EXPECT_TRUE(ark.OpenAndReadHeader(path_)) << status_bytes;
    }
    lines.pop_back();
    testutil::WriteAllText(path_, RawHeader(lines));
    LogSession log(dir_.path());
    orloarkclass ark;
    EXPECT_FALSE(ark.OpenAndReadHeader(path_)) << status_bytes;
    const std::string text = log.EndAndRead();
    EXPECT_NE(text.find("Archive File Appears Corrupt, Could Not Read Header."), std::string::npos);
  }
}

TEST_F(ArchiveHeaderTest, MagicLineMustMatchExactly) {
  const char* firsts[] = {"QUORVANT 8.0 ARCHIVE FILE FORMATX", "QUORVANT 8.0 ARCHIVE FILE FORMA",
                          "quorvant 8.0 archive file format", " QUORVANT 8.0 ARCHIVE FILE FORMAT"};
  mkarchive::ArchiveSettings settings;
  const std::string rest = RawHeader(mkarchive::HeaderValueLines(settings)).substr(34);
  for (const char* first : firsts) {
    testutil::WriteAllText(path_, std::string(first) + "\r\n" + rest);
    LogSession log(dir_.path());
    orloarkclass ark;
    EXPECT_FALSE(ark.OpenAndReadHeader(path_)) << first;
    EXPECT_FALSE(ark.IsOpen());  // a file that is not an archive is closed
    const std::string text = log.EndAndRead();
    const std::vector<std::string>& boxes = log.boxes;
    const size_t magic = text.find("THE FILE IS NOT A QUORVANT 8x FORMAT ARCHIVE FILE");
    const size_t corrupt = text.find("Archive File Appears Corrupt, Could Not Read Header.");
    ASSERT_NE(magic, std::string::npos) << text;
    ASSERT_NE(corrupt, std::string::npos) << text;
    EXPECT_LT(magic, corrupt);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "ERROR: THE FILE IS NOT A QUORVANT 8x FORMAT ARCHIVE FILE");
  }
}

TEST_F(ArchiveHeaderTest, MissingFileFailsSilentlyUnopenableFileIsReported) {
  LogSession log(dir_.path());
  orloarkclass ark;
  EXPECT_FALSE(ark.OpenAndReadHeader(dir_.File("absent.Ark")));
  EXPECT_FALSE(ark.OpenAndReadHeader(dir_.path()));  // a folder is not an archive file
  std::string text;
  if (::geteuid() == 0) {
    text = log.EndAndRead();
    EXPECT_EQ(text.find("Archive File"), std::string::npos) << text;
    GTEST_SKIP() << "running as root: every file opens";
  }
  testutil::WriteAllText(path_, "x");
  ::chmod(path_.c_str(), 0);
  EXPECT_FALSE(ark.OpenAndReadHeader(path_));
  ::chmod(path_.c_str(), 0644);
  text = log.EndAndRead();
  EXPECT_EQ(text.find("Appears Corrupt"), std::string::npos) << text;
  EXPECT_NE(text.find("000255  "), std::string::npos) << text;
  EXPECT_NE(text.find("Could Not Open Archive File For Reading"), std::string::npos) << text;
}

TEST_F(ArchiveHeaderTest, DataStartIsTheRealPositionAfterTheTerminator) {
  // LF-only line ends and a NUL terminator: the blocks are found where they
  // are, and the first frame decodes to its real time.
  for (const char* line_end : {"\r\n", "\n"}) {
    for (uint8_t terminator : {uint8_t{0x0A}, uint8_t{0x00}}) {
      mkarchive::ArchiveSettings settings;
      settings.line_end = line_end;
      settings.terminator = terminator;
      settings.frame_count = 40;
      Write(settings);
      const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
      orloarkclass ark;
      ASSERT_TRUE(ark.OpenAndReadHeader(path_));
      EXPECT_EQ(ark.HeaderBytes(), layout.header_bytes);
      EXPECT_DOUBLE_EQ(ark.FirstFrameTime(), layout.first_frame_time);
      EXPECT_DOUBLE_EQ(ark.Header().StopTime, layout.last_block_time);
      if (std::string(line_end) == "\r\n") {
        // (magic + 2) + sum of (line + 2) + 1
        int64_t formula = 32 + 2 + 1;
        for (const std::string& line : mkarchive::HeaderValueLines(settings)) formula += line.size() + 2;
        EXPECT_EQ(ark.HeaderBytes(), formula);
      }
    }
  }
}

TEST_F(ArchiveHeaderTest, BufferedHeaderReadMatchesLineByLineReading) {
  // Overlong lines split into further lines: the buffered header read must
  // find the same lines and the same data start as reading byte by byte.
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 16;
  settings.description_texts[0] = std::string(3002, 'D');  // splits into 3001 characters + "D"
  settings.extra_value_lines = {std::string(7000, 'E')};
  Write(settings);
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  // "DESCRIPTION 1: " and 3002 D: the line ends after 3001 characters, the
  // next byte is dropped, the 15 D left over form a line without ":".
  EXPECT_EQ(ark.Header().DescriptionTexts[0], " " + std::string(2986, 'D'));
  EXPECT_EQ(ark.Header().DescriptionTexts[1], "");
  EXPECT_EQ(ark.Header().DescriptionTexts[2], " ORLOVARNEL MKARCHIVE");

  const int32_t header_bytes = ark.HeaderBytes();
  ark.SeekArk(0);
  std::string text;
  int32_t count = 0;
  ark.ReadHeaderLine(text, count);
  ASSERT_EQ(text, kArchiveMagicLine);
  int lines = 0;
  for (;;) {
    ark.ReadHeaderLine(text, count);
    if (count < 1) break;
    ++lines;
  }
  EXPECT_EQ(lines, 25 + 1 + 3);  // one split description, the 7000-byte line in three
  EXPECT_EQ(ark.FilePosition(), header_bytes);
}

}  // namespace
