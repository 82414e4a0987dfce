// One log file with coded, time-stamped lines. Writes from any thread are
// serialised by a lock with a 100 ms bounded wait; a line that cannot get the
// lock in time, or whose file cannot be opened, is dropped.
//
// Several processes started in one folder share the file: it is opened for
// appending and kept open, each line is one write, and a lock on the file
// (flock, shared while a log uses it) lets a log empty the file only when no
// other live process is using it; otherwise the new lines are appended.
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
  // Longest wait for the shared file lock while another process empties the
  // file; past it the log appends without the lock rather than hang.
  static constexpr std::chrono::milliseconds kShareWait{2000};

  // Opens the file (created when missing) and keeps it open; empties it
  // when no other process has it open as a log. An empty name means
  // "ErrorLog.Log"; a relative name is resolved against the current folder
  // at the open. A name longer than kMaxFileNameLength, a symbolic link at
  // the name, or a name that is not a regular file is refused (the link or
  // file is left untouched): the log then writes nothing, and OpenProblem()
  // says why. A file that cannot be opened for another reason (a missing
  // folder) is tried again at each line.
  explicit zekerrorlog(const std::string& file_name = std::string(),
                       LineCallback callback = nullptr);
  ~zekerrorlog();
  zekerrorlog(const zekerrorlog&) = delete;
  zekerrorlog& operator=(const zekerrorlog&) = delete;

  // Formats and appends one line (one write). Control characters in the
  // message are C-escaped ("\n", "\r", "\t", "\xNN"), so every message
  // stays one line.
  void Write(const std::string& message, int code);
  // Closes the file (letting go of its lock); a later line opens it again
  // and appends.
  void CloseFile();
  // Why lines are not written: "" once the file has opened, else the reason
  // in plain words, to follow the file's name ("is a symbolic link: ...").
  std::string OpenProblem();

  const std::string& FileName() const { return file_name_; }
  const std::string& LockName() const { return lock_name_; }
  // The last line written, CR LF included.
  std::string LastLine() const;
  // The clock behind the time stamps (replaced when a reading fails).
  Ctimerclass& Clock() { return *clock_; }
  // Lets a test hold the write lock as another writer would.
  std::timed_mutex& WriteLock() { return lock_; }

 private:
  size_t FormatLine(const std::string& message, int code, double reading, const char* note);
  // Opens the file when it is not open; false when it stays closed. Called
  // with lock_ held.
  bool OpenFile();

  std::timed_mutex lock_;
  std::string lock_name_;
  std::unique_ptr<Ctimerclass> clock_;
  LineCallback callback_;
  SharedAppendFile file_;
  std::string file_name_;
  bool refused_ = false;     // never opened: name too long, a link, not a file
  bool may_empty_ = true;    // only the first open may empty the file
  std::string open_problem_;
  char line_[kLineBufferSize];
  size_t line_length_ = 0;
};
