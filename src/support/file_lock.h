// An exclusive lock held through a lock file, between processes and within
// one: while a filelockclass holds the lock on a path, every other attempt
// on that path, in any process, is refused at once. The lock file is
// created when missing and removed again when the lock is released, so no
// lock file outlives a run that ends normally; one left by a killed process
// is taken over by the next, since the system releases the lock of a dead
// process.
#pragma once

#include <string>

class filelockclass {
 public:
  enum class Result { Locked, Busy, Failed };

  filelockclass() = default;
  ~filelockclass();
  filelockclass(const filelockclass&) = delete;
  filelockclass& operator=(const filelockclass&) = delete;

  // Takes the lock without waiting. Busy: another holder has it. Failed:
  // the lock file cannot be created or opened (errno in Error()), or a link
  // or something other than a file is at its name (ELOOP, EEXIST).
  Result TryLock(const std::string& path);
  // Removes the lock file and releases the lock; nothing when not held.
  void Release();

  bool Held() const { return fd_ >= 0; }
  int Error() const { return error_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  int error_ = 0;
  std::string path_;
};
