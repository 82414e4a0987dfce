// Thin file layer over POSIX: the file operations every module uses.
//
// Files are opened for reading (existing files only) or created for writing,
// always shared with other processes. A link at the name of a file created
// for writing is never followed. A PlatformFile owns its descriptor and
// closes it when destroyed. Failures are reported through boolean results
// and the errno value kept in LastError(); nothing throws.
//
// Test builds (ORLO_TEST_HOOKS) can inject faults for files whose path
// contains a given text: a write that fails after a byte budget
// (SetFileWriteFault), or the Nth open, read, write, sync, close or rename
// failing (SetFileCallFault). Product builds have no such seam: their file
// calls go straight to the system.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Which file a path names: equal identities are one file, whatever the
// names (hard links, symbolic links, "." and "..").
struct fileidentitystruct {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool operator==(const fileidentitystruct& other) const = default;
};

// The chunk after which the output writers start writing to the disk
// (SetWriteBehind): large enough for the disk to stream, small enough that
// the final sync is short.
inline constexpr int64_t kWriteBehindBytes = 8 << 20;

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
  // Creates the file anew (existing content discarded) for writing. A link
  // at the path is not followed: the open fails with ELOOP.
  bool CreateWrite(const std::string& path);
  // Creates a file that must not exist yet (O_EXCL): fails with EEXIST when
  // anything, a link included, is at the path, so no file of someone else's
  // is ever truncated through it. Mode 0644 less the umask.
  bool CreateNew(const std::string& path);
  // Closes the descriptor if open. False when close reported an error.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }
  // The open descriptor (-1 when closed), for checks such as fstat.
  int Descriptor() const { return fd_; }

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
  // Makes the data written so far durable (fdatasync). False, with
  // LastError, when the system could not write it to the disk.
  bool Flush();
  // From now on, each time `chunk_bytes` more bytes have been written the
  // system is told to start writing them to the disk (without waiting), so
  // that few dirty pages pile up and the final Flush is short. 0 turns it
  // off. Only for files written straight on from where the call finds them.
  void SetWriteBehind(int64_t chunk_bytes);
  // Device and inode of the open file (false when they cannot be read).
  bool Identity(fileidentitystruct& identity) const;

  int LastError() const { return last_error_; }
  const std::string& Path() const { return path_; }

 private:
  // CreateWrite and CreateNew: open with O_CREAT | O_NOFOLLOW and `flags`.
  bool Create(const std::string& path, int flags);
  // Starts write-back of what was written since the last chunk boundary.
  void WriteBehind();

  int fd_ = -1;
  int last_error_ = 0;
  std::string path_;
  int64_t write_behind_chunk_ = 0;
  int64_t write_offset_ = 0;       // bytes written since SetWriteBehind
  int64_t written_back_ = 0;       // end of the last chunk handed to write-back
  int64_t write_behind_base_ = 0;  // file offset where SetWriteBehind found it
};

// The identity of the file at the path, following links. False when there
// is nothing there (or it cannot be read).
bool GetFileIdentity(const std::string& path, fileidentitystruct& identity);

// What is at a path itself, links not followed.
enum class PathKind { Missing, RegularFile, Folder, SymbolicLink, Fifo, Device, Socket, Unknown };
PathKind GetPathKind(const std::string& path);
// "a folder", "a symbolic link", "a FIFO", ... for messages.
const char* PathKindText(PathKind kind);

// The system's message text for an error number (strerror).
std::string SystemErrorText(int error_number);
// Writes beyond a file-size limit then fail with EFBIG, like a full disk,
// instead of ending the process with SIGXFSZ.
void IgnoreFileSizeSignal();

bool FileExists(const std::string& path);      // a regular file (or link to one)
bool FolderExists(const std::string& path);
bool CreateFolder(const std::string& path);    // one level; true if created
// The folder at the path, created (one level) when missing. A folder made
// by someone else at the same moment counts as success; a link or anything
// that is not a folder fails with `reason` saying what is there.
bool EnsureFolder(const std::string& path, std::string& reason);
// Makes the folder's entries (files created, renamed or removed in it)
// durable (fsync of the folder). False with errno set on failure.
bool SyncFolder(const std::string& path);
bool DeleteFileAt(const std::string& path);    // true if removed
std::string CurrentFolder();                   // "" when it cannot be read
bool SetCurrentFolder(const std::string& path);
// Renames (replacing the target); false with errno set on failure.
bool RenameFile(const std::string& from, const std::string& to);
// Gives the file at `existing` a second name (a hard link; `added` must not
// exist). False with errno set on failure.
bool LinkFile(const std::string& existing, const std::string& added);

// The file calls the fault seam below counts and fails by kind.
enum class FileOperation { Open, Read, Write, Close, Rename, Sync };

#ifdef ORLO_TEST_HOOKS
// Fault injection for tests: after `bytes_before_fault` more bytes have been
// written to files whose path contains `path_part`, every further write to
// such files fails with `error_number` (for example ENOSPC or EIO). An empty
// path_part clears the fault.
void SetFileWriteFault(const std::string& path_part, int64_t bytes_before_fault, int error_number);
void ClearFileWriteFault();

// Fault injection for tests, by call: every open (OpenRead, CreateWrite,
// CreateNew), read, write, close, rename and sync (Flush, SyncFolder) of a
// file whose path contains `path_part` is
// counted per operation, and the `nth_call`-th (from 1) of `operation` fails
// with `error_number`: the open and the rename do nothing, the read and the
// write transfer nothing, the sync reports the error without syncing, the
// close releases the descriptor but reports the error. nth_call 0 only
// counts. Paths that contain `spared_part` (when it is not empty) are
// neither counted nor failed. An empty path_part clears
// the fault.
inline constexpr int kFileOperationCount = 6;
void SetFileCallFault(const std::string& path_part, FileOperation operation, int64_t nth_call,
                      int error_number, const std::string& spared_part = "");
void ClearFileCallFault();
// Calls of the operation counted since SetFileCallFault.
int64_t FileCallCount(FileOperation operation);
#endif  // ORLO_TEST_HOOKS

// ---------------------------------------------------------------------------
// Files of the start folder that parallel runs share: the log and the
// options file.


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
// a unique name beside it ("<path>.<pid>-<count>.tmp", created with
// CreateNew, so no link is followed and the mode is 0644 less the umask),
// are synced to disk and renamed over `path` (a link at `path` is replaced,
// not followed). On any failure the temporary file is removed, `path` is
// left as it was, and the result is false with errno holding the cause.
bool ReplaceFileWhole(const std::string& path, const void* data, int64_t n);
