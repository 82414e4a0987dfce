#include "support/tone_synth.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/test_helpers.h"
#include "support/beeper.h"

namespace {

// Sign changes between consecutive non-zero samples: twice the frequency
// times the duration for a clean tone.
int ZeroCrossings(const std::vector<int16_t>& samples, size_t from, size_t to) {
  int crossings = 0;
  int last_sign = 0;
  for (size_t i = from; i < to; ++i) {
    int sign = (samples[i] > 0) - (samples[i] < 0);
    if (sign == 0) continue;
    if (last_sign != 0 && sign != last_sign) ++crossings;
    last_sign = sign;
  }
  return crossings;
}

TEST(RenderTone, FrequencyAndLength) {
  for (int frequency : {100, 250, 700, 800, 880, 1320, 1760, 2200}) {
    std::vector<int16_t> samples;
    RenderTone(frequency, 100, kToneSampleRate, samples);
    ASSERT_EQ(samples.size(), static_cast<size_t>(kToneSampleRate / 10));
    int expected = 2 * frequency / 10;
    EXPECT_NEAR(ZeroCrossings(samples, 0, samples.size()), expected, 2) << frequency << " Hz";
  }
}

TEST(RenderTone, LowFrequenciesAreRaisedAndPausesAreSilent) {
  std::vector<int16_t> samples;
  RenderTone(10, 1000, kToneSampleRate, samples);
  EXPECT_NEAR(ZeroCrossings(samples, 0, samples.size()), 2 * kLowestToneHz, 2);

  std::vector<int16_t> pause;
  RenderTone(0, 100, kToneSampleRate, pause);
  ASSERT_EQ(pause.size(), static_cast<size_t>(kToneSampleRate / 10));
  for (int16_t s : pause) ASSERT_EQ(s, 0);

  std::vector<int16_t> none;
  RenderTone(440, 0, kToneSampleRate, none);
  EXPECT_TRUE(none.empty());
}

TEST(RenderTone, StartsAndEndsQuietly) {
  std::vector<int16_t> samples;
  RenderTone(800, 50, kToneSampleRate, samples);
  EXPECT_LE(std::abs(samples.front()), 1);
  EXPECT_LE(std::abs(samples.back()), 200);
  int peak = 0;
  for (int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_GT(peak, 7000);
  EXPECT_LT(peak, 32767);
}

TEST(RenderTune, ErrorTuneLayout) {
  const ToneStep tune[] = {{100, 50}, {250, 10}, {0, 100}, {100, 50}, {250, 10}};
  std::vector<int16_t> samples;
  RenderTune(tune, 5, 8000, samples);
  ASSERT_EQ(samples.size(), 8000u * 220 / 1000);
  // The pause sits between 60 and 160 ms.
  for (size_t i = 480; i < 1280; ++i) ASSERT_EQ(samples[i], 0) << i;
  EXPECT_NEAR(ZeroCrossings(samples, 0, 400), 10, 2);  // 100 Hz for 50 ms
}

TEST(Beeper, SinkReceivesEachKindAndNothingPlays) {
  testutil::BeepRecorder beeps;
  auto start = std::chrono::steady_clock::now();
  BeepWarning();
  BeepError();
  BeepDone();
  BeepError();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(beeps.Count(BeepKind::Warning), 1);
  EXPECT_EQ(beeps.Count(BeepKind::Error), 2);
  EXPECT_EQ(beeps.Count(BeepKind::Done), 1);
}

TEST(Beeper, PlayerLivesBetweenStartAndEnd) {
  StartBeeper();
  EXPECT_TRUE(BeeperExists());
  EndBeeper();
  EXPECT_FALSE(BeeperExists());
}

}  // namespace
