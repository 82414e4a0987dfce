// The single-instance lock: a lock file in the user's runtime folder held
// with flock for the life of the process. The kernel frees it when the
// process ends, however it ends, so a crashed copy never blocks the next.
#pragma once

#include <string>

class singleinstancelockclass {
 public:
  singleinstancelockclass() = default;
  ~singleinstancelockclass();
  singleinstancelockclass(const singleinstancelockclass&) = delete;
  singleinstancelockclass& operator=(const singleinstancelockclass&) = delete;

  // Takes the lock "Protect_" + name without waiting. False when another
  // process holds it (or the lock file cannot be opened).
  bool Acquire(const std::string& name);
  bool Held() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// The lock file's folder: $XDG_RUNTIME_DIR when set and present, otherwise
// /tmp; the file name carries the user id there, so that users do not
// block each other.
std::string SingleInstanceLockPath(const std::string& name);
