// Random word tables, random data and random gaps: the pack file must equal
// the stream built one bit at a time from the frames and fill frames in the
// order the gap rule places them.
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "pack/frame_time_check.h"
#include "pack/pack_converter.h"
#include "pack_test_support.h"

namespace {

using packtest::ArchiveRig;
using packtest::ReferencePacker;

struct RandomRun {
  int words;
  int frames_per_block;
  int blocks;
  int64_t period_us;
  int long_gap_max = 0;  // when above 17: some steps of 17 to this many periods
};

// Checks one random run; `missed`, when given, gets the fill frames it made.
void CheckRandomRun(std::mt19937& rng, const RandomRun& run, bool uniform_table, int trial,
                    double* missed = nullptr) {
  testutil::TempDir dir;
  const double rate = 1e6 / static_cast<double>(run.period_us);
  ArchiveRig rig(run.words, run.frames_per_block, rate);
  arkheaderstruct& header = rig.Header();
  const int32_t common_length = 1 + static_cast<int32_t>(rng() % 16);
  const uint8_t common_left = static_cast<uint8_t>(rng() % 2);
  for (int i = 0; i < run.words; ++i) {
    header.WordTable[i].iWdLen = uniform_table ? common_length : 1 + static_cast<int32_t>(rng() % 16);
    header.WordTable[i].bLeftAlign = uniform_table ? common_left : static_cast<uint8_t>(rng() % 2);
  }

  // Frame steps in whole periods: mostly 1, sometimes a gap of several
  // periods, a repeated time (0) or a step back.
  std::vector<int64_t> steps;
  const int frames = run.frames_per_block * run.blocks;
  for (int n = 0; n < frames; ++n) {
    const uint32_t pick = rng() % 100;
    int64_t step = 1;
    if (run.long_gap_max > 17 && pick >= 75) step = 17 + rng() % static_cast<uint32_t>(run.long_gap_max - 16);
    else if (pick < 8) step = 2 + rng() % 6;
    else if (pick < 10) step = 0;
    else if (pick < 12) step = -static_cast<int64_t>(1 + rng() % 3);
    steps.push_back(step);
  }

  const int64_t start_us = 10672496LL * 1000000 + static_cast<int64_t>(rng() % 1000) * run.period_us;
  rig.first_frame_time = static_cast<double>(start_us) / 1e6;
  orloarkpackclass pack(rig.Header());
  ASSERT_TRUE(rig.Prepare(pack, dir.File("prop.arkpak")));

  // Frame times and words first; then the reference stream places fill
  // frames as the frame time judgement says, with the frame after each
  // frame as its look-ahead (across blocks; none for the last frame).
  std::vector<int64_t> times(static_cast<size_t>(frames));
  std::vector<std::vector<uint16_t>> words(static_cast<size_t>(frames), std::vector<uint16_t>(run.words));
  for (int n = 0; n < frames; ++n) {
    times[n] = n == 0 ? start_us : times[n - 1] + steps[n] * run.period_us;
    for (uint16_t& w : words[n]) w = static_cast<uint16_t>(rng());
  }
  ReferencePacker ref;
  double expected_missed = 0.0;
  const double period = static_cast<double>(run.period_us) / 1e6;
  double reference = static_cast<double>(start_us) / 1e6 - period;
  for (int n = 0; n < frames; ++n) {
    std::optional<double> next;
    if (n + 1 < frames) next = packtest::HeaderTime(times[n + 1]);
    frametimedecision d = JudgeFrameTime(reference, packtest::HeaderTime(times[n]), next, period, pack.SpanLimit(),
                                         pack.FillBudgetFrames() - static_cast<int64_t>(expected_missed));
    expected_missed += static_cast<double>(d.fill_frames);
    for (int64_t f = 0; f < d.fill_frames; ++f) ref.PackFillFrame(header);
    ref.PackFrame(words[n].data(), header);
    reference = d.reference;
  }
  int n = 0;
  for (int block = 0; block < run.blocks; ++block) {
    for (int k = 0; k < run.frames_per_block; ++k, ++n) rig.PutFrame(k, times[n], words[n].data());
    rig.Feed(pack);
  }
  ASSERT_TRUE(pack.ClosePackOutput());

  if (missed != nullptr) *missed = pack.MissedFrameCount();
  EXPECT_EQ(pack.MissedFrameCount(), expected_missed) << "trial " << trial;
  EXPECT_EQ(pack.ValidFrameCount(), static_cast<double>(frames)) << "trial " << trial;
  EXPECT_EQ(pack.TotalFrameCount(), expected_missed + frames) << "trial " << trial;
  std::vector<uint8_t> got = testutil::ReadAllBytes(dir.File("prop.arkpak"));
  std::vector<uint8_t> want = ref.Bytes();
  ASSERT_EQ(got.size(), want.size()) << "trial " << trial << " words " << run.words;
  ASSERT_TRUE(got == want) << "trial " << trial << " words " << run.words;
}

TEST(PackPropertyTest, MixedWordTablesMatchBitByBitReference) {
  testutil::BeepRecorder beeps;
  std::mt19937 rng(20240601);
  for (int trial = 0; trial < 60; ++trial) {
    RandomRun run{1 + static_cast<int>(rng() % 300), 1 + static_cast<int>(rng() % 5),
                  1 + static_cast<int>(rng() % 40), (rng() % 2) ? 1000 : 4000};
    CheckRandomRun(rng, run, false, trial);
  }
}

TEST(PackPropertyTest, UniformWordTablesMatchBitByBitReference) {
  testutil::BeepRecorder beeps;
  std::mt19937 rng(77);
  for (int trial = 0; trial < 60; ++trial) {
    RandomRun run{1 + static_cast<int>(rng() % 300), 1 + static_cast<int>(rng() % 5),
                  1 + static_cast<int>(rng() % 40), 1000};
    CheckRandomRun(rng, run, true, trial);
  }
}

TEST(PackPropertyTest, LongGapsMatchBitByBitReference) {
  // Gaps of many fill periods (16 frames) for both kinds of word table,
  // with frame lengths up to and past the fill buffer's whole period
  // (1,024 words).
  testutil::BeepRecorder beeps;
  std::mt19937 rng(1606);
  const RandomRun runs[] = {{1, 3, 12, 1000, 2000}, {2, 1, 12, 1000, 900},  {3, 4, 12, 1000, 700},
                            {5, 2, 12, 1000, 600},  {16, 3, 12, 1000, 600}, {33, 2, 12, 1000, 400},
                            {1024, 1, 12, 1000, 90}, {1025, 1, 12, 1000, 60}};
  int trial = 0;
  for (const RandomRun& run : runs) {
    for (bool uniform : {false, true}) {
      double missed = 0.0;
      CheckRandomRun(rng, run, uniform, trial++, &missed);
      EXPECT_GE(missed, 3.0 * kFillPeriodFrames) << "trial " << trial << ": no long fill run";
    }
  }
}

TEST(PackPropertyTest, GroupBoundariesInsideLongRunsMatchReference) {
  // Enough frames for several groups, including frames too long for a
  // group of 16 (groups of one frame).
  testutil::BeepRecorder beeps;
  std::mt19937 rng(5);
  CheckRandomRun(rng, RandomRun{700, 2, 200, 1000}, false, 0);   // groups of 176 frames
  CheckRandomRun(rng, RandomRun{700, 2, 200, 1000}, true, 1);
  CheckRandomRun(rng, RandomRun{8500, 1, 6, 1000}, false, 2);    // groups of one frame
  CheckRandomRun(rng, RandomRun{8190, 1, 40, 1000}, true, 3);    // groups of 16 frames
}

}  // namespace
