#include "support/read_ahead_thread.h"

#include <sched.h>

#include <system_error>

namespace {

// The processors this process may run on.
int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
}

}  // namespace

bool readaheadthreadclass::Start(PlatformFile& file) {
  Stop();
  if (UsableProcessors() < 2) return false;
  file_ = &file;
  requested_ = done_ = stopping_ = pending_ = false;
  try {
    thread_ = std::thread(&readaheadthreadclass::Run, this);
  } catch (const std::system_error&) {
    return false;  // no thread to be had: the caller reads for itself
  }
  return true;
}

void readaheadthreadclass::Request(uint8_t* into, int64_t bytes) {
  if (!Running() || pending_) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    into_ = into;
    bytes_ = bytes;
    got_ = 0;
    done_ = false;
    requested_ = true;
  }
  pending_ = true;
  changed_.notify_all();
}

int64_t readaheadthreadclass::Wait() {
  if (!pending_) return 0;
  pending_ = false;
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait(guard, [this] { return done_; });
  done_ = false;
  return got_;
}

void readaheadthreadclass::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  pending_ = false;
}

void readaheadthreadclass::Run() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return requested_ || stopping_; });
    // A read already asked for is done first: its buffer and the file's
    // offset are then as the caller expects.
    if (requested_) {
      requested_ = false;
      uint8_t* into = into_;
      const int64_t bytes = bytes_;
      guard.unlock();
      const int64_t got = file_->Read(into, bytes);
      guard.lock();
      got_ = got;
      done_ = true;
      changed_.notify_all();
      continue;
    }
    return;  // stopping, nothing asked for
  }
}
