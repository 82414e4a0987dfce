// The packed-bit converter: group size, pack file contents, the stream
// sink, the gap rule with its fill frames, counters and log lines, and pack
// file failures.
#include "pack/pack_converter.h"

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pack_test_support.h"
#include "support/platform_file.h"

namespace {

using packtest::ArchiveRig;
using packtest::kBaseMicros;
using packtest::LogCapture;
using packtest::ReferencePacker;
constexpr int64_t kHourMicros = 3600LL * 1000000;

int64_t FileSize(const std::string& path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<int64_t>(size);
}

// Words of frame n: distinct per frame and word, with bits set above any
// word length so that justification mistakes show.
std::vector<uint16_t> FrameWords(int words, int n) {
  std::vector<uint16_t> w(static_cast<size_t>(words));
  for (int i = 0; i < words; ++i) w[i] = static_cast<uint16_t>(0x9000 + n * 131 + i * 7);
  return w;
}

// Feeds one frame per block at the given times (microseconds).
void FeedSingleFrames(ArchiveRig& rig, orloarkpackclass& pack, const std::vector<int64_t>& times,
                      int first_index = 0) {
  for (size_t n = 0; n < times.size(); ++n) {
    std::vector<uint16_t> words = FrameWords(rig.Words(), first_index + static_cast<int>(n));
    rig.PutFrame(0, times[n], words.data());
    rig.Feed(pack);
  }
}

// Feeds frames 0 .. count - 1, one per block, `step_micros` apart from
// kBaseMicros, and packs each into `ref` too; `after_frame` (when given) is
// called with each frame's number once it has been fed.
void FeedWithReference(ArchiveRig& rig, orloarkpackclass& pack, ReferencePacker& ref, int count,
                       int64_t step_micros, const std::function<void(int)>& after_frame = nullptr) {
  for (int n = 0; n < count; ++n) {
    const std::vector<uint16_t> w = FrameWords(rig.Words(), n);
    rig.PutFrame(0, kBaseMicros + n * step_micros, w.data());
    rig.Feed(pack);
    ref.PackFrame(w.data(), rig.Header());
    if (after_frame) after_frame(n);
  }
}

class PackConverterTest : public ::testing::Test {
 protected:
  testutil::TempDir dir_;
  testutil::BeepRecorder beeps_;
  std::string PackPath() const { return dir_.File("run.arkpak"); }
  std::string FreshPackPath() const { return dir_.FreshFile("run.arkpak"); }
};

TEST_F(PackConverterTest, FramesPerGroupFollowsTheFrameLength) {
  struct Case { int words; int frames_per_group; };
  for (Case c : {Case{256, 496}, Case{1000, 128}, Case{8190, 16}, Case{1, 130960}, Case{8192, 16}}) {
    ArchiveRig rig(c.words, 1, 1000.0);
    orloarkpackclass pack(rig.Header());
    EXPECT_EQ(pack.OptimumFillBufFrames(), c.frames_per_group) << c.words;
    ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
    EXPECT_EQ(pack.FramesPerGroup(), c.frames_per_group) << c.words;
    EXPECT_EQ(pack.FrameStride(), c.words + 5);
    EXPECT_EQ(pack.FrameDataBytes(), c.words * 2);
  }
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 0);
}

TEST_F(PackConverterTest, VeryLongFramesAreGroupedSinglyWithOneErrorLine) {
  LogCapture log;
  ArchiveRig rig(9000, 1, 100.0);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  EXPECT_EQ(pack.FramesPerGroup(), 1);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
  std::string text = log.Text();
  const std::string message = "OptimumFillBufFrames Not a factor of 16, so data will be bad.  See Software!!!";
  ASSERT_EQ(log.Count(message), 1);
  // 14 frames of 9000 words fit, 15 do not: the code is 15.
  size_t at = text.find(message);
  size_t line_start = text.rfind('\n', at) + 1;
  EXPECT_EQ(text.substr(line_start, 8), "000015  ");
}

TEST_F(PackConverterTest, SteadySixteenBitFramesAreWrittenWholeGroupByGroup) {
  ArchiveRig rig(256, 1, 1000.0);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  ASSERT_EQ(pack.FramesPerGroup(), 496);

  std::vector<int64_t> times;
  for (int n = 0; n < 1000; ++n) times.push_back(kBaseMicros + n * 1000);
  FeedSingleFrames(rig, pack, std::vector<int64_t>(times.begin(), times.begin() + 495));
  EXPECT_EQ(FileSize(PackPath()), 0);
  FeedSingleFrames(rig, pack, {times[495]}, 495);
  EXPECT_EQ(FileSize(PackPath()), 496 * 512);
  FeedSingleFrames(rig, pack, std::vector<int64_t>(times.begin() + 496, times.end()), 496);
  EXPECT_EQ(FileSize(PackPath()), 992 * 512);

  // The last 8 frames wait in the unfinished group until the file is closed.
  ASSERT_TRUE(pack.ClosePackOutput());
  std::vector<uint8_t> bytes = testutil::ReadAllBytes(PackPath());
  ASSERT_EQ(bytes.size(), 1000u * 512);
  std::vector<uint16_t> expected;
  for (int n = 0; n < 1000; ++n) {
    std::vector<uint16_t> w = FrameWords(256, n);
    expected.insert(expected.end(), w.begin(), w.end());
  }
  EXPECT_EQ(bytes, packtest::WordsToBytes(expected));
  EXPECT_EQ(pack.ValidFrameCount(), 1000.0);
  EXPECT_EQ(pack.MissedFrameCount(), 0.0);
  EXPECT_EQ(pack.TotalFrameCount(), 1000.0);
  EXPECT_EQ(pack.BlockCount(), 1000.0);
}

TEST_F(PackConverterTest, TwelveBitRightJustifiedFrameIs384Bytes) {
  ArchiveRig rig(256, 1, 1000.0, 12, false);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  ReferencePacker ref;
  FeedWithReference(rig, pack, ref, 1, 1000);
  ASSERT_TRUE(pack.ClosePackOutput());

  std::vector<uint8_t> bytes = testutil::ReadAllBytes(PackPath());
  ASSERT_EQ(bytes.size(), 384u);
  EXPECT_EQ(bytes, ref.Bytes());
  // First word 0x9000 contributes its low 12 bits 0x000, the second 0x9007
  // gives 0x007: stream 0x0000 0x07..
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[1], 0x00);
  EXPECT_EQ(bytes[3], 0x07);
}

TEST_F(PackConverterTest, LeftJustifiedWordsContributeTheirTopBits) {
  {
    ArchiveRig rig(4, 1, 1000.0, 12, true);
    orloarkpackclass pack(rig.Header());
    ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
    const uint16_t words[4] = {0xABC0, 0xABC0, 0xABC0, 0xABC0};
    rig.PutFrame(0, kBaseMicros, words);
    rig.Feed(pack);
    ASSERT_TRUE(pack.ClosePackOutput());
    // ABC ABC ABC ABC -> words 0xABCA 0xBCAB 0xCABC, little-endian.
    EXPECT_EQ(testutil::ReadAllBytes(PackPath()),
              (std::vector<uint8_t>{0xCA, 0xAB, 0xAB, 0xBC, 0xBC, 0xCA}));
  }
  {
    ArchiveRig rig(2, 1, 1000.0, 16, true);
    orloarkpackclass pack(rig.Header());
    ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
    const uint16_t words[2] = {0x1234, 0xABCD};
    rig.PutFrame(0, kBaseMicros, words);
    rig.Feed(pack);
    ASSERT_TRUE(pack.ClosePackOutput());
    EXPECT_EQ(testutil::ReadAllBytes(PackPath()), (std::vector<uint8_t>{0x34, 0x12, 0xCD, 0xAB}));
  }
}

TEST_F(PackConverterTest, FillFramesPackTheirWordsAsAlternatingBits) {
  // Four right-justified 12-bit words of 0xAAAA give 0xAAA each: 48 bits
  // of 1010..., three stream words 0xAAAA.
  ArchiveRig rig(4, 1, 1.0, 12, false);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  const uint16_t zeros[4] = {0, 0, 0, 0};
  rig.PutFrame(0, kBaseMicros, zeros);
  rig.Feed(pack);
  rig.PutFrame(0, kBaseMicros + 3000000, zeros);  // dT = 3 P: two frames lost
  rig.Feed(pack);
  ASSERT_TRUE(pack.ClosePackOutput());
  std::vector<uint8_t> expected(6, 0x00);
  for (int i = 0; i < 12; ++i) expected.push_back(0xAA);
  expected.insert(expected.end(), 6, 0x00);
  EXPECT_EQ(testutil::ReadAllBytes(PackPath()), expected);
  EXPECT_EQ(pack.MissedFrameCount(), 2.0);
  EXPECT_EQ(pack.TotalFrameCount(), 4.0);
}

// One frame per block at 1 Hz (P = 1 s, H = 0.5 s), two 16-bit words.
class GapRuleTest : public PackConverterTest {
 protected:
  void SetUp() override { ASSERT_TRUE(rig_.Prepare(pack_, FreshPackPath())); }
  // The pack file as frames: true for a fill frame, else the frame number.
  std::vector<int> FramesInFile() {
    pack_.ClosePackOutput();
    std::vector<uint8_t> bytes = testutil::ReadAllBytes(PackPath());
    std::vector<int> frames;
    for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
      uint16_t first = static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
      frames.push_back(first == 0xAAAA ? -1 : (first - 0x9000) / 131);
    }
    return frames;
  }
  ArchiveRig rig_{2, 1, 1.0};
  orloarkpackclass pack_{rig_.Header()};
};

TEST_F(GapRuleTest, StepsOfHalfAndOneAndAHalfPeriodsAreNoGap) {
  LogCapture log;
  FeedSingleFrames(rig_, pack_, {kBaseMicros, kBaseMicros + 1500000, kBaseMicros + 2000000});
  EXPECT_EQ(pack_.MissedFrameCount(), 0.0);
  EXPECT_EQ(FramesInFile(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(log.Count("ArkFramesToPackedBitFrames()"), 0);
}

// A step of m periods (m = nearest whole number, exact halves down) means
// m - 1 lost frames: each gets a fill frame, so every later frame keeps its
// place in time.
TEST_F(GapRuleTest, AStepOfMPeriodsInsertsMMinusOneFillFrames) {
  LogCapture log;
  // Steps: 1.5 P + a little (m = 2), 2.5 P (m = 2), 1 P, 4 P (m = 4).
  FeedSingleFrames(rig_, pack_,
                   {kBaseMicros, kBaseMicros + 1500001, kBaseMicros + 4000001, kBaseMicros + 5000001,
                    kBaseMicros + 9000001});
  pack_.FinishFrames();  // the last frame of the archive waits for the end
  EXPECT_EQ(pack_.MissedFrameCount(), 5.0);
  EXPECT_EQ(pack_.ValidFrameCount(), 5.0);
  EXPECT_EQ(pack_.TotalFrameCount(), 10.0);
  EXPECT_EQ(FramesInFile(), (std::vector<int>{0, -1, 1, -1, 2, 3, -1, -1, -1, 4}));
  EXPECT_EQ(log.Count("ArkFramesToPackedBitFrames(), Ark File frames missed = 1      dT was "), 2);
  EXPECT_EQ(log.Count("ArkFramesToPackedBitFrames(), Ark File frames missed = 3      dT was "), 1);
}

// Fill frames put the frames back on the time grid: frame n of the pack
// file belongs to first frame time + n x P, whatever was lost.
TEST_F(GapRuleTest, EveryFrameKeepsItsPlaceOnTheTimeGrid) {
  const std::vector<int64_t> seconds = {0, 1, 2, 5, 6, 7, 12, 13, 20};
  std::vector<int64_t> micros;
  for (int64_t s : seconds) micros.push_back(kBaseMicros + s * 1000000);
  FeedSingleFrames(rig_, pack_, micros);
  const std::vector<int> frames = FramesInFile();
  ASSERT_EQ(frames.size(), 21u);
  for (size_t i = 0; i < seconds.size(); ++i) {
    EXPECT_EQ(frames[static_cast<size_t>(seconds[i])], static_cast<int>(i)) << i;
  }
  EXPECT_EQ(pack_.MissedFrameCount(), 21.0 - 9.0);
}

TEST_F(GapRuleTest, GapLineNamesTheFrameTheStepAndTheBlock) {
  LogCapture log;
  FeedSingleFrames(rig_, pack_, {kBaseMicros, kBaseMicros + 1000000, kBaseMicros + 4500000});
  pack_.FinishFrames();
  std::string text = log.Text();
  const std::string line =
      "000000  ArkFramesToPackedBitFrames(), Ark File frames missed = 2      dT was 000:00:00:03.500000"
      "      Filled with 0xAAAA frame.  ArkBlockCount 3\r\n";
  size_t message = text.find("ArkFramesToPackedBitFrames()");
  ASSERT_NE(message, std::string::npos);
  size_t start = text.rfind('\n', message) + 1;
  size_t end = text.find('\n', message) + 1;
  std::string got = text.substr(start, end - start);
  // Code, two blanks, time stamp (not compared), two blanks, message.
  EXPECT_EQ(got.substr(0, 8), line.substr(0, 8));
  EXPECT_EQ(got.substr(got.find("  Ark") + 2), line.substr(line.find("  Ark") + 2));
}

TEST_F(GapRuleTest, RepeatedAndBackwardTimesAreLoggedButAddNothing) {
  LogCapture log;
  FeedSingleFrames(rig_, pack_,
                   {kBaseMicros, kBaseMicros, kBaseMicros - 2000000, kBaseMicros - 1000000});
  EXPECT_EQ(pack_.MissedFrameCount(), 0.0);
  EXPECT_EQ(pack_.ValidFrameCount(), 4.0);
  EXPECT_EQ(pack_.TotalFrameCount(), 4.0);
  EXPECT_EQ(FramesInFile(), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(log.Count("Ark File frames missed = 0      dT was "), 1);
  EXPECT_EQ(log.Count("Ark File frames missed = -2      dT was "), 1);
  EXPECT_EQ(log.Count("ArkFramesToPackedBitFrames()"), 2);
}

// A time base that jumps further than the archive's span and stays there
// is followed (the next frame confirms it); its fill is cut to what the
// span holds besides the archive's frames, and the cut is logged once.
TEST_F(PackConverterTest, TheSpanBudgetCutsAHugeConfirmedJump) {
  LogCapture log;
  ArchiveRig rig(2, 1, 1.0);
  const double start = kBaseMicros / 1e6;
  rig.Header().StartTime = start;
  rig.Header().StopTime = start + 20.0;  // 21 s with the block: 22 frames
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  ASSERT_EQ(pack.FillBudgetFrames(), 22);
  const int64_t s = 1000000, day = 86400 * s;
  FeedSingleFrames(rig, pack,
                   {kBaseMicros, kBaseMicros + s, kBaseMicros + 2 * s, kBaseMicros + day, kBaseMicros + day + s,
                    kBaseMicros + 3 * day, kBaseMicros + 3 * day + s});
  ASSERT_TRUE(pack.ClosePackOutput());
  EXPECT_EQ(pack.GapCount(), 2.0);
  EXPECT_EQ(pack.DamagedTimeCount(), 0.0);
  EXPECT_EQ(pack.MissedFrameCount(), 22.0);
  EXPECT_EQ(pack.ValidFrameCount(), 7.0);
  EXPECT_EQ(pack.CutFillFrames(), (86400.0 - 2.0 - 1.0 - 22.0) + (2 * 86400.0 - 1.0 - 1.0));
  EXPECT_EQ(FileSize(PackPath()), (7 + 22) * 4);
  EXPECT_EQ(log.Count("ArkFramesToPackedBitFrames(), fill cut to 22 of 86397 missed frames"), 1);
  EXPECT_EQ(log.Count("fill cut"), 1);
}

// Keeps what it is handed; refuses (as a failed writer does) from its
// `refuse_from`-th call on.
struct RecordingSink : packedbytesinkclass {
  bool AcceptPackedBytes(const uint8_t* bytes, size_t count) override {
    ++calls;
    if (calls >= refuse_from) return false;
    received.insert(received.end(), bytes, bytes + count);
    return true;
  }
  std::vector<uint8_t> received;
  int calls = 0;
  int refuse_from = 1 << 30;
};

// A long fill ends at the first group boundary after the stop check says
// stop or the stream sink refuses; the stop check is asked once per group
// handed on. The archive frames read still join the stream.
TEST_F(PackConverterTest, ALongFillStopsOnAStopRequestOrAFailedSink) {
  constexpr double kGroup = 65472;  // frames per group of a 2-word frame
  struct Case {
    const char* name;
    int stop_from_check;  // the stop check says stop from this call on (0: never)
    int refuse_from;      // the sink refuses from this call on
    double fill;
    int checks;
  };
  const Case cases[] = {
      {"never stopped", 0, 1 << 30, 999998, 15},
      {"stopped at the first group", 1, 1 << 30, kGroup - 2, 1},
      {"stopped at the third group", 3, 1 << 30, 3 * kGroup - 2, 3},
      {"the sink refuses the first group", 0, 1, kGroup - 2, 1},
  };
  for (const Case& c : cases) {
    ArchiveRig rig(2, 1, 1.0);
    orloarkpackclass pack(rig.Header());
    ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
    pack.SetPackFileWanted(false);
    RecordingSink sink;
    sink.refuse_from = c.refuse_from;
    pack.SetStreamSink(&sink);
    int checks = 0;
    pack.SetStopCheck([&] { return ++checks >= c.stop_from_check && c.stop_from_check > 0; });
    const int64_t s = 1000000;
    // Two frames, then a million seconds later (confirmed by the frame after).
    FeedSingleFrames(rig, pack, {kBaseMicros, kBaseMicros + s, kBaseMicros + 1000000 * s,
                                 kBaseMicros + 1000001 * s});
    EXPECT_EQ(pack.MissedFrameCount(), c.fill) << c.name;
    EXPECT_EQ(pack.ValidFrameCount(), 4.0) << c.name;
    EXPECT_EQ(checks, c.checks) << c.name;
    pack.ClosePackOutput();
    if (c.refuse_from > 1) {
      EXPECT_EQ(sink.received.size(), static_cast<size_t>(c.fill + 4) * 4) << c.name;
    }
  }
}

// The first 100 lines of each kind are logged one by one, the rest counted
// in one line at the end of the pass.
TEST_F(PackConverterTest, FrameTimeLinesBeyondTheFirstHundredAreCounted) {
  struct Case {
    const char* name;
    bool damaged;  // every third stamp an hour late; else every step two periods
    const char* line;
    const char* summary;
  };
  const Case cases[] = {
      {"damaged stamps", true, "Ark File frame time out of step, kept in place      dT was ",
       "ArkFramesToPackedBitFrames(), 150 more frame times out of step, kept in place, not logged one by one"},
      {"gaps", false, "Ark File frames missed = 1      dT was ",
       "ArkFramesToPackedBitFrames(), 150 more gaps, not logged one by one; fill frames in all 250"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    ArchiveRig rig(2, 1, 1000.0);
    orloarkpackclass pack(rig.Header());
    ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
    std::vector<int64_t> times;
    for (int64_t n = 0; n < (c.damaged ? 750 : 251); ++n) {
      times.push_back(c.damaged ? kBaseMicros + n * 1000 + (n % 3 == 1 ? kHourMicros : 0) : kBaseMicros + n * 2000);
    }
    FeedSingleFrames(rig, pack, times);
    pack.ClosePackOutput();
    EXPECT_EQ(c.damaged ? pack.DamagedTimeCount() : pack.GapCount(), 250.0) << c.name;
    EXPECT_EQ(log.Count(c.line), 100) << c.name;
    EXPECT_EQ(log.Count(c.summary), 1) << c.name;
    EXPECT_EQ(log.Count("not logged one by one"), 1) << c.name;
  }
}

TEST_F(PackConverterTest, SeveralFramesPerBlockStartWithTheFirstArchiveFrame) {
  // The first frame opens no gap, whatever the frames per block: the pack
  // file starts with the archive's first frame.
  ArchiveRig rig(3, 4, 1000.0);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  EXPECT_DOUBLE_EQ(pack.BlockDuration(), 0.004);
  int n = 0;
  for (int block = 0; block < 3; ++block) {
    for (int k = 0; k < 4; ++k, ++n) {
      std::vector<uint16_t> w = FrameWords(3, n);
      rig.PutFrame(k, kBaseMicros + n * 1000, w.data());
    }
    rig.Feed(pack);
  }
  ASSERT_TRUE(pack.ClosePackOutput());
  EXPECT_EQ(pack.MissedFrameCount(), 0.0);
  EXPECT_EQ(pack.ValidFrameCount(), 12.0);
  EXPECT_EQ(pack.BlockCount(), 3.0);
  std::vector<uint8_t> bytes = testutil::ReadAllBytes(PackPath());
  ASSERT_EQ(bytes.size(), 12u * 6);
  for (int frame = 0; frame < 12; ++frame) {
    const std::vector<uint16_t> w = FrameWords(3, frame);
    for (int i = 0; i < 3; ++i) {
      const size_t at = static_cast<size_t>(frame * 3 + i) * 2;
      EXPECT_EQ(bytes[at] | (bytes[at + 1] << 8), w[static_cast<size_t>(i)]) << frame;
    }
  }
}

// A block replayed after its frame times were restarted continues the
// stream in step; replayed without a restart, its first frame steps back
// and is taken as a move of the time base (nothing to fill).
TEST_F(PackConverterTest, RestartedFrameTimesTakeAReplayedBlockInStep) {
  struct Case { bool restart; double gaps; };
  for (Case c : {Case{true, 0.0}, Case{false, 2.0}}) {
    ArchiveRig rig(2, 4, 1000.0);
    orloarkpackclass pack(rig.Header());
    ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
    ReferencePacker ref;
    for (int k = 0; k < 4; ++k) rig.PutFrame(k, kBaseMicros + k * 1000, FrameWords(2, k).data());
    for (int round = 0; round < 3; ++round) {
      if (c.restart) pack.RestartFrameTimesAt(rig.first_frame_time);
      rig.Feed(pack);
      for (int k = 0; k < 4; ++k) ref.PackFrame(FrameWords(2, k).data(), rig.Header());
    }
    ASSERT_TRUE(pack.ClosePackOutput());
    EXPECT_EQ(pack.GapCount(), c.gaps) << c.restart;
    EXPECT_EQ(pack.MissedFrameCount(), 0.0) << c.restart;
    EXPECT_EQ(pack.ValidFrameCount(), 12.0) << c.restart;
    EXPECT_EQ(testutil::ReadAllBytes(PackPath()), ref.Bytes()) << c.restart;
  }
}

TEST_F(PackConverterTest, VeryLongFramesContinueAcrossSingleFrameGroups) {
  ArchiveRig rig(9000, 1, 100.0, 12, false);
  rig.Header().WordTable[8999].iWdLen = 5;  // 107,993 bits per frame
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  ASSERT_EQ(pack.FramesPerGroup(), 1);

  ReferencePacker ref;
  FeedWithReference(rig, pack, ref, 5, 10000, [&](int n) {
    // Every group writes the stream words it completed; the rest carries over.
    EXPECT_EQ(FileSize(PackPath()), static_cast<int64_t>(ref.WholeWords().size()) * 2) << n;
  });
  ASSERT_TRUE(pack.ClosePackOutput());
  EXPECT_EQ(testutil::ReadAllBytes(PackPath()), ref.Bytes());
  EXPECT_EQ(testutil::ReadAllBytes(PackPath()).size(), ((5 * 107993 + 15) / 16) * 2u);
}

TEST_F(PackConverterTest, CloseWritesWaitingFramesAndThePaddedLastWord) {
  // Three 12-bit words: 36 bits per frame, so 1,001 frames end mid-word.
  ArchiveRig rig(3, 1, 1000.0, 12, false);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  ReferencePacker ref;
  FeedWithReference(rig, pack, ref, 1001, 1000);
  EXPECT_TRUE(pack.ClosePackOutput());
  std::vector<uint8_t> bytes = testutil::ReadAllBytes(PackPath());
  EXPECT_EQ(bytes.size(), ((1001 * 36 + 15) / 16) * 2u);
  EXPECT_EQ(bytes, ref.Bytes());
  // A second close changes nothing.
  EXPECT_TRUE(pack.ClosePackOutput());
  EXPECT_EQ(testutil::ReadAllBytes(PackPath()), bytes);
}

TEST_F(PackConverterTest, SingleWordsJoinTheStream) {
  ArchiveRig rig(1, 1, 1000.0);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  pack.PackWordBits(0xABC0, 12, true);
  pack.PackWordBits(0xFFF5, 4, false);
  pack.PackWordBits(0x0001, 1, false);
  ASSERT_TRUE(pack.ClosePackOutput());
  EXPECT_EQ(testutil::ReadAllBytes(PackPath()), (std::vector<uint8_t>{0xC5, 0xAB, 0x00, 0x80}));
}

TEST_F(PackConverterTest, BlockLargerThanTheSerialBufferConvertsOnlyWholeFrames) {
  ArchiveRig rig(8, 1, 1000.0);
  rig.Header().FramesPerBlock = 4;  // the buffer holds one frame only
  // Four frames per block: the step before the first frame is taken as 4 ms.
  rig.first_frame_time += 0.003;
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  FeedSingleFrames(rig, pack, {kBaseMicros});
  pack.FinishFrames();  // the archive's last frame was out of step: it waited for the end
  EXPECT_EQ(pack.ValidFrameCount(), 1.0);
  ASSERT_TRUE(pack.ClosePackOutput());
  EXPECT_EQ(FileSize(PackPath()), 16);
}

TEST_F(PackConverterTest, NewRunResetsCountersAndFinishesTheOldFile) {
  ArchiveRig rig(2, 1, 1000.0);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  FeedSingleFrames(rig, pack, {kBaseMicros, kBaseMicros + 3000});
  pack.FinishFrames();
  EXPECT_EQ(pack.MissedFrameCount(), 2.0);
  const std::string second = dir_.File("second.arkpak");
  ASSERT_TRUE(rig.Prepare(pack, second));
  EXPECT_EQ(FileSize(PackPath()), 4 * 4);
  EXPECT_EQ(pack.MissedFrameCount(), 0.0);
  EXPECT_EQ(pack.ValidFrameCount(), 0.0);
  EXPECT_EQ(pack.BlockCount(), 0.0);
  EXPECT_EQ(FileSize(second), 0);
}

TEST_F(PackConverterTest, StreamSinkGetsThePackFileBytesWhetherTheFileIsWrittenOrNot) {
  // 12-bit words, 40 per frame (480 bits): groups of 3,264 frames; 7,001
  // frames give two whole groups, a waiting rest and a padded last word.
  for (bool wanted : {true, false}) {
    for (int refuse_from : {1 << 30, 2}) {
      SCOPED_TRACE(std::to_string(wanted) + " " + std::to_string(refuse_from));
      ArchiveRig rig(40, 1, 1000.0, 12, false);
      rig.Header().WordTable[39].iWdLen = 7;  // 475 bits: frames end mid-word
      orloarkpackclass pack(rig.Header());
      ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
      RecordingSink sink;
      sink.refuse_from = refuse_from;
      pack.SetPackFileWanted(wanted);
      pack.SetStreamSink(&sink);
      ReferencePacker ref;
      FeedWithReference(rig, pack, ref, 7001, 1000);
      EXPECT_TRUE(pack.ClosePackOutput());
      EXPECT_FALSE(pack.OutputFailed());
      const std::vector<uint8_t> file = testutil::ReadAllBytes(PackPath());
      EXPECT_TRUE(file == (wanted ? ref.Bytes() : std::vector<uint8_t>()));
      if (refuse_from == 2) {
        // Refused once, never asked again; what came before it stays.
        EXPECT_EQ(sink.calls, 2);
        EXPECT_EQ(sink.received.size(), static_cast<size_t>(3264 * 475 / 16 * 2));
      } else {
        EXPECT_EQ(sink.calls, 3);  // two groups and the rest at close
        EXPECT_TRUE(sink.received == ref.Bytes());
      }
    }
  }
}

class PackFailureTest : public PackConverterTest {
 protected:
  void TearDown() override { ClearFileWriteFault(); }
};

TEST_F(PackFailureTest, FailingWriteIsReportedOnceAndStopsOutput) {
  LogCapture log;
  ArchiveRig rig(256, 1, 1000.0);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  SetFileWriteFault("run.arkpak", 1000, ENOSPC);
  std::vector<int64_t> times;
  for (int n = 0; n < 1500; ++n) times.push_back(kBaseMicros + n * 1000);
  FeedSingleFrames(rig, pack, times);
  EXPECT_TRUE(pack.OutputFailed());
  EXPECT_EQ(pack.OutputError(), ENOSPC);
  EXPECT_FALSE(pack.ClosePackOutput());
  EXPECT_EQ(FileSize(PackPath()), 1000);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
  const std::string message = SystemErrorText(ENOSPC) + ": " + PackPath();
  ASSERT_EQ(log.Count(message), 1);
  std::string text = log.Text();
  size_t start = text.rfind('\n', text.find(message)) + 1;
  EXPECT_EQ(text.substr(start, 8), "000028  ");
}

TEST_F(PackFailureTest, FailureOfTheLastWritesAtCloseIsReported) {
  LogCapture log;
  ArchiveRig rig(3, 1, 1000.0, 12, false);
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, FreshPackPath()));
  SetFileWriteFault("run.arkpak", 0, EIO);
  FeedSingleFrames(rig, pack, {kBaseMicros, kBaseMicros + 1000});  // waits in the unfinished group
  EXPECT_FALSE(pack.OutputFailed());
  EXPECT_FALSE(pack.ClosePackOutput());
  EXPECT_EQ(pack.OutputError(), EIO);
  EXPECT_EQ(log.Count(SystemErrorText(EIO) + ": " + PackPath()), 1);
}

TEST_F(PackFailureTest, PackFileThatCannotBeCreatedIsReported) {
  LogCapture log;
  ArchiveRig rig(2, 1, 1000.0);
  orloarkpackclass pack(rig.Header());
  const std::string path = dir_.File("missing/run.arkpak");
  EXPECT_FALSE(rig.Prepare(pack, path));
  EXPECT_TRUE(pack.OutputFailed());
  EXPECT_EQ(pack.OutputError(), ENOENT);
  FeedSingleFrames(rig, pack, {kBaseMicros});
  EXPECT_EQ(pack.ValidFrameCount(), 0.0);
  EXPECT_FALSE(pack.ClosePackOutput());
  EXPECT_EQ(log.Count(SystemErrorText(ENOENT) + ": " + path), 1);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
}

TEST_F(PackFailureTest, SetupThatCannotBePackedIsRefused) {
  struct Case { int words; double rate; int length; };
  for (Case c : {Case{2, 0.0, 16}, Case{2, -5.0, 16}, Case{2, 1000.0, 17}, Case{2, 1000.0, 0},
                 Case{0, 1000.0, 16}, Case{20000, 1000.0, 16}}) {
    ArchiveRig rig(c.words, 1, c.rate, c.length);
    orloarkpackclass pack(rig.Header());
    EXPECT_FALSE(rig.Prepare(pack, FreshPackPath())) << c.words << " " << c.rate << " " << c.length;
    EXPECT_TRUE(pack.OutputFailed());
    rig.Feed(pack);
    EXPECT_EQ(pack.BlockCount(), 0.0);
    EXPECT_FALSE(pack.ClosePackOutput());
  }
}

}  // namespace
