// beepplayerclass: plays the program's tunes on a thread of its own, so
// that a tune (the completion tune lasts 400 ms) never holds up the
// user-interface thread: the end of a run is shown and logged at once while
// its tune plays. Installed as the beep sink for its lifetime; tunes still
// queued when it ends are dropped.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "support/beeper.h"

class beepplayerclass {
 public:
  beepplayerclass();
  ~beepplayerclass();
  beepplayerclass(const beepplayerclass&) = delete;
  beepplayerclass& operator=(const beepplayerclass&) = delete;

 private:
  void Run();

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<BeepKind> queue_;
  bool ending_ = false;
  std::thread thread_;
};
