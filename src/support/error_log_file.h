// One log file with coded, time-stamped lines. Writes from any thread are
// serialised by a lock with a 100 ms bounded wait; a line that cannot get the
// lock in time, or whose file cannot be opened, is dropped.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "support/platform_file.h"
#include "support/time_keeping.h"

class zekerrorlog {
 public:
  using LineCallback = std::function<void(const std::string& line)>;

  static constexpr size_t kLineBufferSize = 16384;  // characters, CR LF included
  static constexpr size_t kMaxFileNameLength = 4095;
  static constexpr std::chrono::milliseconds kLockWait{100};

  // Creates the file anew (emptied) and closes it again. An empty name means
  // "ErrorLog.Log"; a relative name is resolved against the current folder at
  // each open. A name longer than kMaxFileNameLength is refused: the log then
  // writes nothing.
  explicit zekerrorlog(const std::string& file_name = std::string(),
                       LineCallback callback = nullptr);
  ~zekerrorlog();
  zekerrorlog(const zekerrorlog&) = delete;
  zekerrorlog& operator=(const zekerrorlog&) = delete;

  // Formats and appends one line (one write).
  void Write(const std::string& message, int code);
  void CloseFile();

  const std::string& FileName() const { return file_name_; }
  const std::string& LockName() const { return lock_name_; }
  // The last line written, CR LF included.
  std::string LastLine() const;
  // The clock behind the time stamps (replaced when a reading fails).
  Ctimerclass& Clock() { return *clock_; }
  // Lets a test hold the write lock as another writer would.
  std::timed_mutex& WriteLock() { return lock_; }

  bool flush_after_write = false;

 private:
  size_t FormatLine(const std::string& message, int code, double reading, const char* note);

  std::timed_mutex lock_;
  std::string lock_name_;
  std::unique_ptr<Ctimerclass> clock_;
  LineCallback callback_;
  PlatformFile file_;
  std::string file_name_;
  bool name_refused_ = false;
  char line_[kLineBufferSize];
  size_t line_length_ = 0;
};
