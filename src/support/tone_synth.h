// Tone synthesis and playback: renders tunes into 16-bit mono samples and
// plays them through the sound system when an output device opens, or keeps
// their timing in silence when none does.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kToneSampleRate = 44100;
constexpr int kLowestToneHz = 37;  // the tone generator's lower limit

// One step of a tune: a tone of the frequency for the duration, or a pause
// when the frequency is 0.
struct ToneStep {
  int frequency_hz;
  int duration_ms;
};

// Appends the samples of one step at the sample rate: a sine wave with short
// ramps at both ends (so the speaker does not click), or silence for a pause.
// Frequencies below the generator's limit are raised to it.
void RenderTone(int frequency_hz, int duration_ms, int sample_rate, std::vector<int16_t>& samples);
void RenderTune(const ToneStep* steps, int count, int sample_rate, std::vector<int16_t>& samples);

// The program's tone player. Each Play call blocks for the length of the tune.
class zekspeakerclass {
 public:
  zekspeakerclass();
  ~zekspeakerclass();
  zekspeakerclass(const zekspeakerclass&) = delete;
  zekspeakerclass& operator=(const zekspeakerclass&) = delete;

  void Play(const ToneStep* steps, int count);
  // One tone, synchronous (frequency raised to the lower limit).
  void Tone(int frequency_hz, int duration_ms);

 private:
  std::vector<int16_t> samples_;
};
