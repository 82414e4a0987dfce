#include "gui/ten_hz_thread.h"

#include <chrono>

#include "support/error_log.h"

namespace {
constexpr auto kTickInterval = std::chrono::milliseconds(50);
constexpr auto kClosingPoll = std::chrono::milliseconds(10);
}  // namespace

tenhzthread::tenhzthread(PostToUi post, std::function<void()> tick)
    : post_(std::move(post)), tick_(std::move(tick)), state_(std::make_shared<sharedstate>()) {}

tenhzthread::~tenhzthread() { Terminate(); }

void tenhzthread::Start() {
  if (thread_.joinable()) return;
  // The thread's scheduling class is the process default: raising it needs
  // privileges, and a tick that only queues a call gains nothing from it.
  thread_ = std::thread([this] { Run(); });
}

void tenhzthread::Terminate() {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->terminate = true;
  }
  state_->changed.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool tenhzthread::TickPending() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->tick_pending;
}

int64_t tenhzthread::TicksRun() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->ticks_run;
}

bool tenhzthread::Finished() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->finished;
}

void tenhzthread::RunTick(const std::shared_ptr<sharedstate>& state,
                          const std::function<void()>& tick) {
  {
    std::lock_guard<std::mutex> guard(state->lock);
    if (state->terminate || !state->tick_pending) return;
  }
  // The closing flag is checked again here: a tick queued just before the
  // shutdown began does nothing.
  if (!IsProgramClosing()) tick();
  {
    std::lock_guard<std::mutex> guard(state->lock);
    state->tick_pending = false;
    ++state->ticks_run;
  }
  state->changed.notify_all();
}

void tenhzthread::Run() {
  std::shared_ptr<sharedstate> state = state_;
  std::unique_lock<std::mutex> lock(state->lock);
  while (!state->terminate) {
    if (IsProgramClosing()) {
      state->changed.wait_for(lock, kClosingPoll, [&] { return state->terminate; });
      continue;
    }
    if (state->changed.wait_for(lock, kTickInterval, [&] { return state->terminate; })) break;
    if (IsProgramClosing()) continue;

    state->tick_pending = true;
    lock.unlock();
    std::function<void()> tick = tick_;
    post_([state, tick] { RunTick(state, tick); });
    lock.lock();
    state->changed.wait(lock, [&] { return !state->tick_pending || state->terminate; });
  }
  state->tick_pending = false;
  state->finished = true;
}
