// Tone rendering and playback. The sound library is loaded at run time so
// that the program neither links it nor needs its headers; without it, or
// without an output device, tunes are silent but keep their length.
#include "support/tone_synth.h"

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace {

constexpr double kAmplitude = 8000.0;  // well below full scale: a signal, not an alarm
constexpr int kRampMs = 2;

// The few entry points of libasound the player needs, declared here.
struct SoundLibrary {
  using PcmOpen = int (*)(void** pcm, const char* name, int stream, int mode);
  using PcmSetParams = int (*)(void* pcm, int format, int access, unsigned channels,
                               unsigned rate, int soft_resample, unsigned latency_us);
  using PcmWrite = long (*)(void* pcm, const void* buffer, unsigned long frames);
  using PcmRecover = int (*)(void* pcm, int err, int silent);
  using PcmNonblock = int (*)(void* pcm, int nonblock);
  using PcmDrain = int (*)(void* pcm);
  using PcmClose = int (*)(void* pcm);
  using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetErrorHandler = int (*)(ErrorHandler handler);

  static constexpr int kStreamPlayback = 0;
  static constexpr int kOpenNonblock = 1;
  static constexpr int kFormatS16LE = 2;
  static constexpr int kAccessRwInterleaved = 3;

  bool loaded = false;
  PcmOpen open = nullptr;
  PcmSetParams set_params = nullptr;
  PcmWrite writei = nullptr;
  PcmRecover recover = nullptr;
  PcmNonblock nonblock = nullptr;
  PcmDrain drain = nullptr;
  PcmClose close = nullptr;
};

// The library prints its own complaints (no card, no server) to standard
// error; a missing device is normal here, so they are swallowed.
void QuietSoundErrors(const char*, int, const char*, int, const char*, ...) {}

template <typename T>
bool Resolve(void* handle, const char* name, T& out) {
  out = reinterpret_cast<T>(dlsym(handle, name));
  return out != nullptr;
}

const SoundLibrary& Sound() {
  static SoundLibrary library;
  static std::once_flag once;
  std::call_once(once, [] {
    void* handle = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    SoundLibrary::SetErrorHandler set_handler = nullptr;
    bool ok = Resolve(handle, "snd_pcm_open", library.open) &&
              Resolve(handle, "snd_pcm_set_params", library.set_params) &&
              Resolve(handle, "snd_pcm_writei", library.writei) &&
              Resolve(handle, "snd_pcm_recover", library.recover) &&
              Resolve(handle, "snd_pcm_nonblock", library.nonblock) &&
              Resolve(handle, "snd_pcm_drain", library.drain) &&
              Resolve(handle, "snd_pcm_close", library.close);
    if (Resolve(handle, "snd_lib_error_set_handler", set_handler)) set_handler(QuietSoundErrors);
    library.loaded = ok;
  });
  return library;
}

// Plays the samples to the default output; false when no device opens or
// playback breaks off.
bool PlaySamples(const std::vector<int16_t>& samples, int sample_rate) {
  const SoundLibrary& lib = Sound();
  if (!lib.loaded) return false;
  void* pcm = nullptr;
  // Opened non-blocking so a busy device cannot hang the caller, then
  // switched to blocking writes so the call lasts as long as the tune.
  if (lib.open(&pcm, "default", SoundLibrary::kStreamPlayback, SoundLibrary::kOpenNonblock) < 0 ||
      pcm == nullptr) {
    return false;
  }
  bool ok = lib.nonblock(pcm, 0) >= 0 &&
            lib.set_params(pcm, SoundLibrary::kFormatS16LE, SoundLibrary::kAccessRwInterleaved, 1,
                           static_cast<unsigned>(sample_rate), 1, 50000) >= 0;
  size_t done = 0;
  while (ok && done < samples.size()) {
    long put = lib.writei(pcm, samples.data() + done, samples.size() - done);
    if (put < 0) {
      if (lib.recover(pcm, static_cast<int>(put), 1) < 0) ok = false;
      continue;
    }
    done += static_cast<size_t>(put);
  }
  if (ok) lib.drain(pcm);
  lib.close(pcm);
  return ok;
}

}  // namespace

void RenderTone(int frequency_hz, int duration_ms, int sample_rate, std::vector<int16_t>& samples) {
  if (duration_ms <= 0 || sample_rate <= 0) return;
  size_t count = static_cast<size_t>(static_cast<int64_t>(sample_rate) * duration_ms / 1000);
  if (frequency_hz == 0) {
    samples.insert(samples.end(), count, 0);
    return;
  }
  if (frequency_hz < kLowestToneHz) frequency_hz = kLowestToneHz;
  size_t ramp = static_cast<size_t>(sample_rate) * kRampMs / 1000;
  if (ramp * 2 > count) ramp = count / 2;
  const double step = 2.0 * M_PI * frequency_hz / sample_rate;
  samples.reserve(samples.size() + count);
  for (size_t i = 0; i < count; ++i) {
    double gain = 1.0;
    if (ramp > 0 && i < ramp) gain = static_cast<double>(i) / static_cast<double>(ramp);
    if (ramp > 0 && count - 1 - i < ramp) gain = static_cast<double>(count - 1 - i) / ramp;
    samples.push_back(static_cast<int16_t>(std::lround(kAmplitude * gain * std::sin(step * i))));
  }
}

void RenderTune(const ToneStep* steps, int count, int sample_rate, std::vector<int16_t>& samples) {
  for (int i = 0; i < count; ++i) {
    RenderTone(steps[i].frequency_hz, steps[i].duration_ms, sample_rate, samples);
  }
}

zekspeakerclass::zekspeakerclass() = default;
zekspeakerclass::~zekspeakerclass() = default;

void zekspeakerclass::Play(const ToneStep* steps, int count) {
  int total_ms = 0;
  for (int i = 0; i < count; ++i) total_ms += steps[i].duration_ms > 0 ? steps[i].duration_ms : 0;
  auto start = std::chrono::steady_clock::now();
  samples_.clear();
  RenderTune(steps, count, kToneSampleRate, samples_);
  PlaySamples(samples_, kToneSampleRate);
  // Whether it played, failed or went to a device that does not keep time,
  // the call lasts as long as the tune.
  std::this_thread::sleep_until(start + std::chrono::milliseconds(total_ms));
}

void zekspeakerclass::Tone(int frequency_hz, int duration_ms) {
  if (frequency_hz < kLowestToneHz) frequency_hz = kLowestToneHz;
  ToneStep step{frequency_hz, duration_ms};
  Play(&step, 1);
}
