// Thin file layer over POSIX: the file operations every module uses.
//
// Files are opened for reading (existing files only) or created anew for
// writing (truncating), always shared with other processes. A PlatformFile
// owns its descriptor and closes it when destroyed. Failures are reported
// through boolean results and the errno value kept in LastError(); nothing
// throws.
//
// Tests can inject faults for files whose path contains a given text: a
// write that fails after a byte budget (SetFileWriteFault), or the Nth open,
// read, write, close or rename failing (SetFileCallFault).
#pragma once

#include <cstdint>
#include <string>

class PlatformFile {
 public:
  PlatformFile() = default;
  ~PlatformFile();
  PlatformFile(const PlatformFile&) = delete;
  PlatformFile& operator=(const PlatformFile&) = delete;
  PlatformFile(PlatformFile&& other) noexcept;
  PlatformFile& operator=(PlatformFile&& other) noexcept;

  // Opens an existing file for reading. False (and LastError) when it cannot.
  bool OpenRead(const std::string& path);
  // Creates the file anew (existing content discarded) for writing.
  bool CreateWrite(const std::string& path);
  // Closes the descriptor if open. False when close reported an error.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Reads up to n bytes; returns the bytes delivered (0 at end of file or on
  // error; LastError tells which). Retries interrupted and partial reads.
  int64_t Read(void* buffer, int64_t n);
  // Writes all n bytes; returns the bytes written, fewer on error.
  int64_t Write(const void* buffer, int64_t n);
  // Moves to the absolute offset. False (position unchanged) on failure.
  bool Seek(int64_t offset);
  // Current position, or -1.
  int64_t Tell() const;
  // Size of the open file, or -1.
  int64_t Size() const;
  // Hands written data to the system (no fsync: the data is in the kernel).
  bool Flush();

  int LastError() const { return last_error_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  int last_error_ = 0;
  std::string path_;
};

// The system's message text for an error number (strerror).
std::string SystemErrorText(int error_number);
// Writes beyond a file-size limit then fail with EFBIG, like a full disk,
// instead of ending the process with SIGXFSZ.
void IgnoreFileSizeSignal();

bool FileExists(const std::string& path);      // a regular file (or link to one)
bool FolderExists(const std::string& path);
bool CreateFolder(const std::string& path);    // one level; true if created
bool DeleteFileAt(const std::string& path);    // true if removed
std::string CurrentFolder();                   // "" when it cannot be read
bool SetCurrentFolder(const std::string& path);
// Renames (replacing the target); false with errno set on failure.
bool RenameFile(const std::string& from, const std::string& to);

// Fault injection for tests: after `bytes_before_fault` more bytes have been
// written to files whose path contains `path_part`, every further write to
// such files fails with `error_number` (for example ENOSPC or EIO). An empty
// path_part clears the fault.
void SetFileWriteFault(const std::string& path_part, int64_t bytes_before_fault, int error_number);
void ClearFileWriteFault();

// Fault injection for tests, by call: every open (OpenRead, CreateWrite),
// read, write, close and rename of a file whose path contains `path_part` is
// counted per operation, and the `nth_call`-th (from 1) of `operation` fails
// with `error_number`: the open and the rename do nothing, the read and the
// write transfer nothing, the close releases the descriptor but reports the
// error. nth_call 0 only counts. Paths that contain `spared_part` (when it
// is not empty) are neither counted nor failed. An empty path_part clears
// the fault.
enum class FileOperation { Open, Read, Write, Close, Rename };
inline constexpr int kFileOperationCount = 5;
void SetFileCallFault(const std::string& path_part, FileOperation operation, int64_t nth_call,
                      int error_number, const std::string& spared_part = "");
void ClearFileCallFault();
// Calls of the operation counted since SetFileCallFault.
int64_t FileCallCount(FileOperation operation);

// ---------------------------------------------------------------------------
// Files of the start folder that parallel runs share: the log and the
// options file.

#include <chrono>

// A file that is only ever appended to, never opened through a symbolic
// link, with a whole-file advisory lock (flock) through which the
// processes using it see each other. Owns its descriptor; nothing throws.
class SharedAppendFile {
 public:
  enum class OpenResult { Opened, SymbolicLink, NotRegularFile, Failed };

  SharedAppendFile() = default;
  ~SharedAppendFile();
  SharedAppendFile(const SharedAppendFile&) = delete;
  SharedAppendFile& operator=(const SharedAppendFile&) = delete;

  // Opens the file with O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW |
  // O_CLOEXEC, creating it with mode 0644 less the umask. A symbolic link at
  // the name (dangling or not) and anything but a regular file (a folder, a
  // FIFO: never waited on, a device) are refused and left untouched.
  // Failed: LastError() holds the errno.
  OpenResult Open(const std::string& path);
  // True when the exclusive lock was taken without waiting, that is when no
  // other open of the file (in any process) holds a lock on it.
  bool TryLockExclusive();
  // Takes the shared lock, replacing an exclusive one (not atomically: the
  // lock is let go for a moment), waiting at most `wait`. False (and
  // LastError) when it could not be had in time.
  bool LockShared(std::chrono::milliseconds wait);
  // Empties the file; only sound while this descriptor holds the exclusive
  // lock.
  bool Truncate();
  // Appends the n bytes with one write() call, so lines written by several
  // processes at once never split or overwrite each other. False (and
  // LastError) when not all of them were written; the rest is not retried.
  bool AppendWhole(const void* data, size_t n);
  // Puts the written data on the disk (fdatasync). False (and LastError)
  // when the system reports an error.
  bool SyncData();
  // Closes the descriptor, which lets go of the lock.
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  int LastError() const { return last_error_; }

 private:
  int fd_ = -1;
  int last_error_ = 0;
};

// Replaces the file at `path` with the n bytes of `data` so that a reader
// finds either the old content or the new, never a part, and parallel
// savers never write into each other's file: the bytes go to a new file of
// a unique name beside it ("<path>.XXXXXX.tmp", created exclusively, so no
// link is followed), made mode 0644 less the umask, are synced to disk and
// renamed over `path` (a link at `path` is replaced, not followed). On any
// failure the temporary file is removed, `path` is left as it was, and the
// result is false with errno holding the cause. The open, write, close and
// rename of the temporary file go through the fault injection above.
bool ReplaceFileWhole(const std::string& path, const void* data, int64_t n);
