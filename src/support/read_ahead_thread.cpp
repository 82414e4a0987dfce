#include "support/read_ahead_thread.h"

#include <fcntl.h>
#include <sched.h>

#include <algorithm>
#include <system_error>

int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
}

bool readaheadthreadclass::Start(PlatformFile& file, int64_t advise_ahead) {
  Stop();
  if (UsableProcessors() < 2) return false;
  file_ = &file;
  offset_ = file.Tell();
  // Without a known offset there is nothing to advise from.
  advise_ahead_ = offset_ >= 0 ? advise_ahead : 0;
  advised_end_ = 0;
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
      AdviseAhead(got, bytes);
      guard.lock();
      got_ = got;
      done_ = true;
      changed_.notify_all();
      continue;
    }
    return;  // stopping, nothing asked for
  }
}

void readaheadthreadclass::AdviseAhead(int64_t got, int64_t asked) {
  offset_ += got;
  // After a short read (the end of the file or an error) nothing follows.
  if (advise_ahead_ <= 0 || got < asked) return;
  // Only what was not advised before: the window moves on by one read.
  const int64_t from = std::max(advised_end_, offset_);
  const int64_t to = offset_ + advise_ahead_;
  if (to <= from) return;
  // Advice only: a failure costs speed, never data.
  ::posix_fadvise(file_->Descriptor(), from, to - from, POSIX_FADV_WILLNEED);
  advised_end_ = to;
}
