// tenhzthread: the refresh thread of the progress views. It sleeps 50 ms,
// hands a refresh tick to the user-interface thread and waits until that
// tick has run (so ticks never pile up while a pass keeps the user-interface
// thread busy between two event pumps); it touches no view and no counter
// itself. While the program-closing flag is set it only sleeps.
//
// The wait for the tick also ends when the thread is asked to terminate, so
// the shutdown (which waits for the thread on the user-interface thread)
// never waits for a tick that the user-interface thread will not run.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class tenhzthread {
 public:
  // post: queues a call for the user-interface thread and returns at once.
  // tick: the refresh, run on the user-interface thread.
  using PostToUi = std::function<void(std::function<void()>)>;
  tenhzthread(PostToUi post, std::function<void()> tick);
  ~tenhzthread();  // terminates and waits
  tenhzthread(const tenhzthread&) = delete;
  tenhzthread& operator=(const tenhzthread&) = delete;

  void Start();
  // Asks the thread to end and waits until it has; a tick still queued
  // afterwards does nothing.
  void Terminate();

  bool TickPending() const;   // a tick is queued and the thread waits for it
  int64_t TicksRun() const;   // ticks that ran on the user-interface thread
  bool Finished() const;

 private:
  // Shared with the queued ticks, which may outlive the thread object.
  struct sharedstate {
    std::mutex lock;
    std::condition_variable changed;
    bool terminate = false;
    bool tick_pending = false;
    bool finished = false;
    int64_t ticks_run = 0;
  };

  void Run();
  static void RunTick(const std::shared_ptr<sharedstate>& state, const std::function<void()>& tick);

  PostToUi post_;
  std::function<void()> tick_;
  std::shared_ptr<sharedstate> state_;
  std::thread thread_;
};
