#include "gui/beep_player.h"

#include <system_error>

#include "support/tone_synth.h"

namespace {
// A burst of beeps (an error on every block) would otherwise queue minutes
// of tones: beyond this many waiting tunes further ones are dropped.
constexpr size_t kMostWaitingTunes = 4;
}  // namespace

beepplayerclass::beepplayerclass() {
  try {
    thread_ = std::thread(&beepplayerclass::Run, this);
  } catch (const std::system_error&) {
    return;  // no thread: the tunes play where they are called, as before
  }
  SetBeepSink([this](BeepKind kind) {
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.size() < kMostWaitingTunes) queue_.push_back(kind);
    changed_.notify_one();
  });
}

beepplayerclass::~beepplayerclass() {
  if (!thread_.joinable()) return;
  SetBeepSink(nullptr);
  {
    std::lock_guard<std::mutex> guard(lock_);
    ending_ = true;
    queue_.clear();
  }
  changed_.notify_one();
  thread_.join();
}

void beepplayerclass::Run() {
  zekspeakerclass speaker;  // opened on this thread, used only here
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return ending_ || !queue_.empty(); });
    if (ending_) return;
    const BeepKind kind = queue_.front();
    queue_.pop_front();
    guard.unlock();
    PlayBeepOn(speaker, kind);
    guard.lock();
  }
}
