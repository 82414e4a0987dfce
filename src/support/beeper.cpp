// The program's three tunes and the single tone player behind them.
#include "support/beeper.h"

#include <memory>
#include <mutex>

#include "support/tone_synth.h"

namespace {

const ToneStep kWarningTune[] = {{800, 50}, {700, 50}};
const ToneStep kErrorTune[] = {{100, 50}, {250, 10}, {0, 100}, {100, 50}, {250, 10}};
const ToneStep kDoneTune[] = {{880, 100}, {1320, 100}, {1760, 100}, {2200, 100}};

struct BeeperState {
  std::mutex lock;  // one tune at a time; guards the player and the sink
  std::unique_ptr<zekspeakerclass> speaker;
  BeepSink sink;
};

BeeperState& State() {
  static BeeperState state;
  return state;
}

template <size_t N>
void PlayTune(BeepKind kind, const ToneStep (&tune)[N]) {
  BeeperState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.sink) {
    s.sink(kind);
    return;
  }
  if (!s.speaker) s.speaker = std::make_unique<zekspeakerclass>();
  s.speaker->Play(tune, static_cast<int>(N));
}

}  // namespace

void PlayBeepOn(zekspeakerclass& speaker, BeepKind kind) {
  switch (kind) {
    case BeepKind::Warning: speaker.Play(kWarningTune, 2); return;
    case BeepKind::Error: speaker.Play(kErrorTune, 5); return;
    case BeepKind::Done: speaker.Play(kDoneTune, 4); return;
  }
}

void BeepWarning() { PlayTune(BeepKind::Warning, kWarningTune); }
void BeepError() { PlayTune(BeepKind::Error, kErrorTune); }
void BeepDone() { PlayTune(BeepKind::Done, kDoneTune); }

void SetBeepSink(BeepSink sink) {
  BeeperState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  s.sink = std::move(sink);
}

void StartBeeper() {
  BeeperState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.speaker) s.speaker = std::make_unique<zekspeakerclass>();
}

void EndBeeper() {
  BeeperState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  s.speaker.reset();
}

bool BeeperExists() {
  BeeperState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.speaker != nullptr;
}
