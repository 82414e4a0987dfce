// Frame header decoding and reading frame blocks one after another:
// field-by-field reads, the file position, the end of data, short reads with
// their reports, and the program-closing stop.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/frame_header.h"
#include "common/log_session.h"
#include "common/test_helpers.h"
#include "mkarchive/archive_generator.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace {

using testutil::CountOf;
using testutil::LogSession;

void Decode(std::vector<uint8_t> bytes, double& time, int32_t& sfid, int32_t& a, int32_t& b) {
  ASSERT_EQ(bytes.size(), 10u);
  DecodeFrameHeader(bytes.data(), time, sfid, a, b);
}

TEST(FrameHeaderTest, DecodesBcdTimeAndStatusWord) {
  double time = 0;
  int32_t sfid = -1, a = 0, b = 0;
  Decode({0x01, 0x23, 0x12, 0x34, 0x56, 0x12, 0x34, 0x56, 0x00, 0x00}, time, sfid, a, b);
  EXPECT_DOUBLE_EQ(time, 10672496.123456);
  EXPECT_EQ(sfid, 0);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1);

  // Only the low nibble of byte 0 is a digit.
  Decode({0x32, 0x45, 0, 0, 0, 0, 0, 0, 0, 0}, time, sfid, a, b);
  EXPECT_DOUBLE_EQ(time, 245 * 86400.0);

  Decode({0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x60}, time, sfid, a, b);
  EXPECT_EQ(sfid, 5);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 2);

  Decode({0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x03}, time, sfid, a, b);
  EXPECT_EQ(sfid, 1023);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1);

  // Flag A alone, and bits outside the counter and the flags ignored.
  Decode({0, 0, 0, 0, 0, 0, 0, 0, 0x07, 0xA4}, time, sfid, a, b);
  EXPECT_EQ(sfid, 7);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 1);
}

TEST(FrameHeaderTest, AgreesWithTheRecorderEncodingAcrossTheYear) {
  const int64_t samples[] = {0,
                             86400LL * 1000000,
                             (366LL * 86400 - 1) * 1000000 + 999999,
                             (123LL * 86400 + 45296) * 1000000 + 7,
                             (99LL * 86400 + 3599) * 1000000 + 500000};
  for (int64_t us : samples) {
    uint8_t bytes[10];
    mkarchive::EncodeFrameHeader(us, 0x2000 | 17, bytes);
    double time = 0;
    int32_t sfid = 0, a = 0, b = 0;
    DecodeFrameHeader(bytes, time, sfid, a, b);
    EXPECT_DOUBLE_EQ(time, mkarchive::FrameHeaderTime(us)) << us;
    EXPECT_NEAR(time, us / 1e6, 1e-6) << us;
    EXPECT_EQ(sfid, 17);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
  }
}

class FrameBlockTest : public ::testing::Test {
 protected:
  void WriteArchive(const mkarchive::ArchiveSettings& settings) {
    std::string error;
    ASSERT_TRUE(mkarchive::WriteArchive(path_, settings, &error)) << error;
  }
  // Every frame of the current block against the expected frames from
  // `first`; returns the number of frames compared.
  void ExpectBlockFrames(const orloarkclass& ark, const std::vector<mkarchive::FrameRecord>& frames,
                         size_t first) {
    const arkheaderstruct& h = ark.Header();
    const int32_t stride_bytes = (h.WordsPerMinorFrame + 5) * 2;
    for (int32_t k = 0; k < h.FramesPerBlock && first + k < frames.size(); ++k) {
      const mkarchive::FrameRecord& want = frames[first + k];
      const uint8_t* frame = ark.SerialData() + k * stride_bytes;
      double time = 0;
      int32_t sfid = 0, a = 0, b = 0;
      DecodeFrameHeader(frame, time, sfid, a, b);
      ASSERT_DOUBLE_EQ(time, want.time) << "frame " << first + k;
      ASSERT_EQ(sfid, want.status_word & 0x3FF);
      for (int32_t w = 0; w < h.WordsPerMinorFrame; ++w) {
        uint16_t word = static_cast<uint16_t>(frame[10 + 2 * w] | (frame[11 + 2 * w] << 8));
        ASSERT_EQ(word, want.words[w]) << "frame " << first + k << " word " << w;
      }
    }
  }

  testutil::TempDir dir_;
  testutil::BeepRecorder beeps_;
  std::string path_ = dir_.File("blocks.Ark");
};

TEST_F(FrameBlockTest, ReadsEveryBlockFieldByFieldUpToTheEnd) {
  struct Case {
    int32_t words_per_frame;
    int32_t frames_per_block;
    int32_t status_bytes;
    int64_t frame_count;
  };
  // The last block filled up with further frames; a full status buffer.
  const Case cases[] = {{12, 7, 24, 7 * 5 + 3}, {16, 2, 1024, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status_bytes);
    mkarchive::ArchiveSettings settings;
    settings.words_per_frame = c.words_per_frame;
    settings.frames_per_block = c.frames_per_block;
    settings.status_bytes_per_block = c.status_bytes;
    settings.frame_count = c.frame_count;
    WriteArchive(settings);
    const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
    const std::vector<mkarchive::FrameRecord> frames = mkarchive::ExpectedFrames(settings);
    const std::vector<uint8_t> file = testutil::ReadAllBytes(path_);

    LogSession log(dir_.path());
    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_));
    ASSERT_EQ(ark.HeaderBytes(), layout.header_bytes);
    ASSERT_EQ(ark.FilePosition(), layout.header_bytes);
    EXPECT_FALSE(ark.EndOfData());

    int64_t blocks = 0;
    for (;;) {
      ark.ReadNextBlock();
      if (ark.EndOfData()) break;
      const int64_t block_start = layout.header_bytes + blocks * layout.block_size;
      EXPECT_EQ(ark.FilePosition(), block_start + layout.block_size);
      double block_time = 0;
      std::memcpy(&block_time, file.data() + block_start, 8);
      EXPECT_EQ(ark.BlockTime(), block_time);
      EXPECT_EQ(ark.BlockRunCount(), blocks % 65536);
      ExpectBlockFrames(ark, frames, static_cast<size_t>(blocks * settings.frames_per_block));
      EXPECT_EQ(0, std::memcmp(ark.StatusBuffer(), file.data() + block_start + 12 + layout.serial_bytes,
                               settings.status_bytes_per_block));
      ++blocks;
    }
    EXPECT_EQ(blocks, layout.blocks);
    EXPECT_EQ(ark.FilePosition(), ark.FileSize());
    // Once at the end, further calls keep it there.
    ark.ReadNextBlock();
    EXPECT_TRUE(ark.EndOfData());

    const std::string text = log.EndAndRead();
    EXPECT_EQ(CountOf(text, "GroupReadToBufs fail"), 0) << text;
  }
}

// Blocks are drawn from a read-ahead buffer: a seek between two blocks (the
// last-block time read) must not lose or repeat bytes, and blocks larger
// than the buffer must read whole.
TEST_F(FrameBlockTest, BlocksReadExactlyAcrossSeeksAndBeyondTheReadAheadSize) {
  struct Case {
    int32_t words_per_frame;
    int32_t frames_per_block;
    int64_t frame_count;
    int64_t seek_every;  // blocks between two seeks away and back
  };
  // Small blocks; blocks larger than the read-ahead buffer; 10 MiB read on
  // by the read-ahead thread (whole pieces, then a short one) with a seek
  // that stops it part way.
  const Case cases[] = {{20, 3, 3 * 900, 7}, {2000, 300, 300 * 4, 7}, {100, 16, 48000, 1000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words_per_frame);
    mkarchive::ArchiveSettings settings;
    settings.words_per_frame = c.words_per_frame;
    settings.frames_per_block = c.frames_per_block;
    settings.status_bytes_per_block = 8;
    settings.frame_count = c.frame_count;
    WriteArchive(settings);
    const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
    const std::vector<mkarchive::FrameRecord> frames = mkarchive::ExpectedFrames(settings);

    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_));
    int64_t blocks = 0;
    for (;;) {
      ark.ReadNextBlock();
      if (ark.EndOfData()) break;
      ExpectBlockFrames(ark, frames, static_cast<size_t>(blocks * settings.frames_per_block));
      ++blocks;
      EXPECT_EQ(ark.FilePosition(), layout.header_bytes + blocks * layout.block_size);
      if (blocks % c.seek_every == 3) {
        double last = 0;
        EXPECT_TRUE(ark.ReadLastBlockTime(last));
        EXPECT_EQ(ark.FilePosition(), layout.header_bytes + blocks * layout.block_size);
      }
    }
    EXPECT_EQ(blocks, layout.blocks);
    EXPECT_EQ(ark.FilePosition(), ark.FileSize());
  }
}

TEST_F(FrameBlockTest, AFailedReadEndsThePassAtTheLastWholeBlockBeforeIt) {
  // 10 MiB: the later reads are made by the read-ahead thread. Each read
  // call of the pass fails in turn; the blocks before the failure arrive
  // intact, none after it, and the failure is recorded.
  mkarchive::ArchiveSettings settings;
  settings.words_per_frame = 100;
  settings.frames_per_block = 16;
  settings.frame_count = 48000;
  WriteArchive(settings);
  const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
  const std::vector<mkarchive::FrameRecord> frames = mkarchive::ExpectedFrames(settings);

  LogSession log(dir_.path());  // the failures' message boxes go here
  auto read_pass = [&](int64_t failing_call, int64_t& blocks) {
    orloarkclass ark;
    EXPECT_TRUE(ark.OpenAndReadHeader(path_));
    SetFileCallFault(path_, FileOperation::Read, failing_call, EIO);
    blocks = 0;
    for (;;) {
      ark.ReadNextBlock();
      if (ark.EndOfData()) break;
      ExpectBlockFrames(ark, frames, static_cast<size_t>(blocks * settings.frames_per_block));
      ++blocks;
    }
    const int64_t calls = FileCallCount(FileOperation::Read);
    ClearFileCallFault();
    EXPECT_EQ(ark.InputError(), failing_call > 0 ? EIO : 0);
    return calls;
  };
  int64_t all_blocks = 0;
  const int64_t calls = read_pass(0, all_blocks);
  ASSERT_EQ(all_blocks, layout.blocks);
  ASSERT_GE(calls, 4);  // two refills, then whole pieces and a short one
  int64_t previous = -1;
  for (int64_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE("read call " + std::to_string(n));
    int64_t blocks = 0;
    read_pass(n, blocks);
    EXPECT_LT(blocks, layout.blocks);
    EXPECT_GT(blocks, previous);  // a later failure keeps more blocks
    previous = blocks;
  }
}

TEST_F(FrameBlockTest, AnIncompleteLastBlockEndsThePassWithTheReportOfItsShortField) {
  mkarchive::ArchiveSettings settings;
  settings.words_per_frame = 6;
  settings.frames_per_block = 4;
  settings.status_bytes_per_block = 16;
  settings.frame_count = 12;  // three whole blocks
  WriteArchive(settings);
  const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
  const std::vector<uint8_t> whole = testutil::ReadAllBytes(path_);
  ASSERT_EQ(layout.blocks, 3);

  struct Cut {
    int64_t bytes_into_last_block;
    const char* report;
  };
  const int64_t s = layout.serial_bytes;
  const Cut cuts[] = {{3, "GroupReadToBufs fail, blocksizetoy"},
                      {8, "GroupReadToBufs fail, blocksizespare1"},
                      {9, "GroupReadToBufs fail, blocksizespare2"},
                      {11, "GroupReadToBufs fail, blocksizerun"},
                      {12, "GroupReadToBufs fail, numserialbytes"},
                      {12 + s - 1, "GroupReadToBufs fail, numserialbytes"},
                      {12 + s, "GroupReadToBufs fail, numstatusbytes"},
                      {12 + s + 15, "GroupReadToBufs fail, numstatusbytes"}};
  for (const Cut& cut : cuts) {
    const int64_t size = layout.header_bytes + 2 * layout.block_size + cut.bytes_into_last_block;
    testutil::WriteAllBytes(path_, whole.data(), static_cast<size_t>(size));

    LogSession log(dir_.path());
    orloarkclass ark;
    ASSERT_TRUE(ark.OpenAndReadHeader(path_));
    int whole_blocks = 0;
    for (;;) {
      ark.ReadNextBlock();
      if (ark.EndOfData()) break;
      ++whole_blocks;
    }
    EXPECT_EQ(whole_blocks, 2) << cut.report;
    // What the short read delivered still moved the position.
    EXPECT_EQ(ark.FilePosition(), size) << cut.report;
    const std::string text = log.EndAndRead();
    EXPECT_EQ(CountOf(text, "GroupReadToBufs fail"), 1) << text;
    EXPECT_EQ(CountOf(text, std::string("000255  ")), 1) << text;
    EXPECT_NE(text.find(cut.report), std::string::npos) << text;
  }
}

TEST_F(FrameBlockTest, ZeroStatusBytesReadNothingForTheStatusField) {
  // An archive with status bytes leaves its (pseudo-random) status in the
  // buffer; the archive opened after it has none to read.
  mkarchive::ArchiveSettings settings;
  settings.status_bytes_per_block = 8;
  WriteArchive(settings);
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  ark.ReadNextBlock();
  ASSERT_FALSE(ark.EndOfData());
  const std::vector<uint8_t> before(ark.StatusBuffer(), ark.StatusBuffer() + 8);
  ASSERT_NE(before, std::vector<uint8_t>(8, 0));

  settings.status_bytes_per_block = 0;
  settings.frames_per_block = 3;
  settings.frame_count = 6;
  WriteArchive(settings);
  const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(settings);
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  ark.ReadNextBlock();
  ASSERT_FALSE(ark.EndOfData());
  ark.ReadNextBlock();
  ASSERT_FALSE(ark.EndOfData());
  EXPECT_EQ(ark.FilePosition(), layout.header_bytes + 2 * layout.block_size);
  EXPECT_EQ(std::vector<uint8_t>(ark.StatusBuffer(), ark.StatusBuffer() + 8), before);
  ark.ReadNextBlock();
  EXPECT_TRUE(ark.EndOfData());
}

TEST_F(FrameBlockTest, ProgramClosingStopsReadingWithoutAReport) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 64;
  WriteArchive(settings);
  LogSession log(dir_.path());
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  const int64_t position = ark.FilePosition();
  SetProgramClosing(true);
  ark.ReadNextBlock();
  SetProgramClosing(false);
  EXPECT_TRUE(ark.EndOfData());
  EXPECT_EQ(ark.FilePosition(), position);
  bool end_flag = false;
  SetProgramClosing(true);
  EXPECT_FALSE(ark.GroupReadToBufs(end_flag));
  SetProgramClosing(false);
  EXPECT_TRUE(end_flag);
  const std::string text = log.EndAndRead();
  EXPECT_EQ(text.find("GroupReadToBufs"), std::string::npos) << text;
}

TEST_F(FrameBlockTest, NothingHappensWithoutAnOpenFile) {
  orloarkclass ark;
  ark.ReadNextBlock();
  EXPECT_FALSE(ark.EndOfData());
  EXPECT_EQ(ark.FilePosition(), 0);
  bool end_flag = false;
  EXPECT_FALSE(ark.GroupReadToBufs(end_flag));
  EXPECT_TRUE(end_flag);
}

TEST_F(FrameBlockTest, AHeaderOnlyArchiveEndsThePassAtOnce) {
  mkarchive::ArchiveSettings settings;
  const std::string header = mkarchive::HeaderText(settings);
  testutil::WriteAllText(path_, header);
  LogSession log(dir_.path());
  orloarkclass ark;
  ASSERT_TRUE(ark.OpenAndReadHeader(path_));
  EXPECT_EQ(ark.FilePosition(), static_cast<int64_t>(header.size()));
  ark.ReadNextBlock();
  EXPECT_TRUE(ark.EndOfData());
  EXPECT_EQ(ark.FilePosition(), static_cast<int64_t>(header.size()));
  const std::string text = log.EndAndRead();
  EXPECT_EQ(text.find("GroupReadToBufs"), std::string::npos) << text;
}

}  // namespace
