#include "support/platform_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

#ifdef ORLO_TEST_HOOKS

struct WriteFault {
  std::mutex lock;
  std::atomic<bool> active{false};
  std::string path_part;
  int64_t remaining = 0;
  int error_number = 0;
};

WriteFault& Fault() {
  static WriteFault fault;
  return fault;
}

// Returns how many of the n bytes may be written before the injected fault
// strikes, and sets *error when it does. One atomic load when no fault is
// set.
int64_t AllowedBeforeFault(const std::string& path, int64_t n, int* error) {
  WriteFault& f = Fault();
  if (!f.active.load(std::memory_order_acquire)) return n;
  std::lock_guard<std::mutex> guard(f.lock);
  if (!f.active.load(std::memory_order_relaxed) || path.find(f.path_part) == std::string::npos)
    return n;
  if (f.remaining >= n) {
    f.remaining -= n;
    return n;
  }
  int64_t allowed = f.remaining;
  f.remaining = 0;
  *error = f.error_number;
  return allowed;
}

struct CallFault {
  std::mutex lock;
  std::atomic<bool> active{false};
  std::string path_part;
  std::string spared_part;
  FileOperation operation = FileOperation::Open;
  int64_t nth_call = 0;
  int error_number = 0;
  int64_t counts[kFileOperationCount] = {};
};

CallFault& Calls() {
  static CallFault fault;
  return fault;
}

// Counts the call and returns the error number it must fail with (0: none).
// One atomic load when no fault is set.
int CallFaultFor(FileOperation operation, const std::string& path) {
  CallFault& f = Calls();
  if (!f.active.load(std::memory_order_acquire)) return 0;
  std::lock_guard<std::mutex> guard(f.lock);
  if (!f.active.load(std::memory_order_relaxed) || path.find(f.path_part) == std::string::npos)
    return 0;
  if (!f.spared_part.empty() && path.find(f.spared_part) != std::string::npos) return 0;
  int64_t count = ++f.counts[static_cast<int>(operation)];
  if (operation != f.operation || count != f.nth_call) return 0;
  errno = f.error_number;  // as the failing system call would leave it
  return f.error_number;
}

#else

// Product builds carry no fault seam: the checks are constants the
// compiler folds away.
constexpr int64_t AllowedBeforeFault(const std::string&, int64_t n, int*) { return n; }
constexpr int CallFaultFor(FileOperation, const std::string&) { return 0; }

#endif  // ORLO_TEST_HOOKS

}  // namespace

PlatformFile::~PlatformFile() { Close(); }

PlatformFile::PlatformFile(PlatformFile&& other) noexcept
    : fd_(other.fd_),
      last_error_(other.last_error_),
      path_(std::move(other.path_)),
      write_behind_chunk_(other.write_behind_chunk_),
      write_offset_(other.write_offset_),
      written_back_(other.written_back_),
      write_behind_base_(other.write_behind_base_) {
  other.fd_ = -1;
  other.write_behind_chunk_ = 0;
}

PlatformFile& PlatformFile::operator=(PlatformFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    last_error_ = other.last_error_;
    path_ = std::move(other.path_);
    write_behind_chunk_ = other.write_behind_chunk_;
    write_offset_ = other.write_offset_;
    written_back_ = other.written_back_;
    write_behind_base_ = other.write_behind_base_;
    other.fd_ = -1;
    other.write_behind_chunk_ = 0;
  }
  return *this;
}

bool PlatformFile::OpenRead(const std::string& path) {
  Close();
  if (int fault = CallFaultFor(FileOperation::Open, path)) {
    last_error_ = fault;
    return false;
  }
  // O_NONBLOCK: a FIFO put where a file was expected must not hang the
  // open (reads of regular files are not affected by it).
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    last_error_ = errno;
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    last_error_ = EISDIR;
    return false;
  }
  fd_ = fd;
  path_ = path;
  last_error_ = 0;
  return true;
}

bool PlatformFile::Create(const std::string& path, int flags) {
  Close();
  if (int fault = CallFaultFor(FileOperation::Open, path)) {
    last_error_ = fault;
    return false;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | flags, 0644);
  if (fd < 0) {
    last_error_ = errno;
    return false;
  }
  fd_ = fd;
  path_ = path;
  last_error_ = 0;
  write_behind_chunk_ = 0;
  return true;
}

bool PlatformFile::CreateWrite(const std::string& path) { return Create(path, O_TRUNC); }

bool PlatformFile::CreateNew(const std::string& path) { return Create(path, O_EXCL); }

bool PlatformFile::Close() {
  if (fd_ < 0) return true;
  int fault = CallFaultFor(FileOperation::Close, path_);
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0 || fault != 0) {
    last_error_ = fault != 0 ? fault : errno;
    return false;
  }
  return true;
}

int64_t PlatformFile::Read(void* buffer, int64_t n) {
  if (fd_ < 0) {
    last_error_ = EBADF;
    return 0;
  }
  if (int fault = CallFaultFor(FileOperation::Read, path_)) {
    last_error_ = fault;
    return 0;
  }
  char* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < n) {
    ssize_t got = ::read(fd_, p + done, static_cast<size_t>(n - done));
    if (got < 0) {
      if (errno == EINTR) continue;
      last_error_ = errno;
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

int64_t PlatformFile::Write(const void* buffer, int64_t n) {
  if (fd_ < 0) {
    last_error_ = EBADF;
    return 0;
  }
  if (int fault = CallFaultFor(FileOperation::Write, path_)) {
    last_error_ = fault;
    return 0;
  }
  int fault_error = 0;
  int64_t allowed = AllowedBeforeFault(path_, n, &fault_error);
  const char* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < allowed) {
    ssize_t put = ::write(fd_, p + done, static_cast<size_t>(allowed - done));
    if (put < 0) {
      if (errno == EINTR) continue;
      last_error_ = errno;
      return done;
    }
    done += put;
  }
  if (fault_error != 0) last_error_ = fault_error;
  if (write_behind_chunk_ > 0) {
    write_offset_ += done;
    if (write_offset_ - written_back_ >= write_behind_chunk_) WriteBehind();
  }
  return done;
}

void PlatformFile::SetWriteBehind(int64_t chunk_bytes) {
  write_behind_chunk_ = fd_ >= 0 && chunk_bytes > 0 ? chunk_bytes : 0;
  write_offset_ = 0;
  written_back_ = 0;
  write_behind_base_ = write_behind_chunk_ > 0 ? Tell() : 0;
  if (write_behind_base_ < 0) write_behind_chunk_ = 0;
}

void PlatformFile::WriteBehind() {
  // Hand the new chunk to the disk without waiting for it: the disk works
  // while the next chunks are converted, no more than one chunk is ever
  // dirty, and the final Flush waits only for what is still in flight.
  // (Waiting for the chunk before, or four before, made a 1 GiB conversion
  // 1.1 to 1.6 times slower than this, and no faster than cp and sync.)
  // Failures here are not errors: Flush reports whatever did not reach the
  // disk.
  const int64_t start = written_back_;
  ::sync_file_range(fd_, write_behind_base_ + start, write_offset_ - start, SYNC_FILE_RANGE_WRITE);
  written_back_ = write_offset_;
}

bool PlatformFile::Seek(int64_t offset) {
  if (fd_ < 0) {
    last_error_ = EBADF;
    return false;
  }
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
    last_error_ = errno;
    return false;
  }
  return true;
}

int64_t PlatformFile::Tell() const {
  if (fd_ < 0) return -1;
  off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

int64_t PlatformFile::Size() const {
  if (fd_ < 0) return -1;
  struct stat st;
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool PlatformFile::Flush() {
  if (fd_ < 0) {
    last_error_ = EBADF;
    return false;
  }
  if (int fault = CallFaultFor(FileOperation::Sync, path_)) {
    last_error_ = fault;
    return false;
  }
  while (::fdatasync(fd_) != 0) {
    if (errno == EINTR) continue;
    // A pipe or a terminal has nothing to make durable.
    if (errno == EINVAL || errno == EROFS) break;
    last_error_ = errno;
    return false;
  }
  return true;
}

bool PlatformFile::Identity(fileidentitystruct& identity) const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
  identity.Device = static_cast<uint64_t>(st.st_dev);
  identity.Inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

std::string SystemErrorText(int error_number) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(error_number, buf, sizeof buf);
  return text ? std::string(text) : std::string();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }

bool EnsureFolder(const std::string& path, std::string& reason) {
  if (path.empty()) {
    reason = "no folder named";
    return false;
  }
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    reason = SystemErrorText(errno);
    return false;
  }
  // Made now, by us or by a run beside us, or there before: it must be a
  // folder itself, not a link to one somewhere else.
  const PathKind kind = GetPathKind(path);
  if (kind == PathKind::Folder) return true;
  if (kind == PathKind::Missing) {
    errno = ENOENT;
    reason = SystemErrorText(ENOENT);
  } else {
    errno = EEXIST;
    reason = SystemErrorText(EEXIST) + " (" + PathKindText(kind) + ", not a folder)";
  }
  return false;
}

bool SyncFolder(const std::string& path) {
  if (int fault = CallFaultFor(FileOperation::Sync, path)) {
    errno = fault;
    return false;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  const int error = errno;
  ::close(fd);
  // Some file systems cannot sync a folder; their entries are as durable as
  // they will get.
  if (rc != 0 && error != EINVAL && error != EROFS) {
    errno = error;
    return false;
  }
  return true;
}

bool GetFileIdentity(const std::string& path, fileidentitystruct& identity) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  identity.Device = static_cast<uint64_t>(st.st_dev);
  identity.Inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

PathKind GetPathKind(const std::string& path) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISREG(st.st_mode)) return PathKind::RegularFile;
  if (S_ISDIR(st.st_mode)) return PathKind::Folder;
  if (S_ISLNK(st.st_mode)) return PathKind::SymbolicLink;
  if (S_ISFIFO(st.st_mode)) return PathKind::Fifo;
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return PathKind::Device;
  if (S_ISSOCK(st.st_mode)) return PathKind::Socket;
  return PathKind::Unknown;
}

const char* PathKindText(PathKind kind) {
  switch (kind) {
    case PathKind::Missing: return "missing";
    case PathKind::RegularFile: return "a file";
    case PathKind::Folder: return "a folder";
    case PathKind::SymbolicLink: return "a symbolic link";
    case PathKind::Fifo: return "a FIFO";
    case PathKind::Device: return "a device";
    case PathKind::Socket: return "a socket";
    case PathKind::Unknown: break;
  }
  return "not a regular file";
}

bool DeleteFileAt(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string CurrentFolder() {
  char buf[4096];
  return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool SetCurrentFolder(const std::string& path) { return ::chdir(path.c_str()) == 0; }

bool LinkFile(const std::string& existing, const std::string& added) {
  return ::link(existing.c_str(), added.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
  if (int fault = CallFaultFor(FileOperation::Rename, from)) {
    errno = fault;
    return false;
  }
  return std::rename(from.c_str(), to.c_str()) == 0;
}

#ifdef ORLO_TEST_HOOKS

void SetFileWriteFault(const std::string& path_part, int64_t bytes_before_fault, int error_number) {
  WriteFault& f = Fault();
  std::lock_guard<std::mutex> guard(f.lock);
  f.path_part = path_part;
  f.remaining = bytes_before_fault;
  f.error_number = error_number;
  f.active.store(!path_part.empty(), std::memory_order_release);
}

void ClearFileWriteFault() { SetFileWriteFault("", 0, 0); }

void SetFileCallFault(const std::string& path_part, FileOperation operation, int64_t nth_call,
                      int error_number, const std::string& spared_part) {
  CallFault& f = Calls();
  std::lock_guard<std::mutex> guard(f.lock);
  f.path_part = path_part;
  f.spared_part = spared_part;
  f.operation = operation;
  f.nth_call = nth_call;
  f.error_number = error_number;
  for (int64_t& count : f.counts) count = 0;
  f.active.store(!path_part.empty(), std::memory_order_release);
}

void ClearFileCallFault() { SetFileCallFault("", FileOperation::Open, 0, 0); }

int64_t FileCallCount(FileOperation operation) {
  CallFault& f = Calls();
  std::lock_guard<std::mutex> guard(f.lock);
  return f.counts[static_cast<int>(operation)];
}

#endif  // ORLO_TEST_HOOKS

// ---------------------------------------------------------------------------
// Files of the start folder that parallel runs share: the log and the
// options file.

#include <sys/file.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// What a name that could not be opened for appending is.
SharedAppendFile::OpenResult ClassifyRefusal(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return SharedAppendFile::OpenResult::Failed;
  if (S_ISLNK(st.st_mode)) return SharedAppendFile::OpenResult::SymbolicLink;
  if (!S_ISREG(st.st_mode)) return SharedAppendFile::OpenResult::NotRegularFile;
  return SharedAppendFile::OpenResult::Failed;
}

}  // namespace

SharedAppendFile::~SharedAppendFile() { Close(); }

SharedAppendFile::OpenResult SharedAppendFile::Open(const std::string& path) {
  Close();
  // O_NONBLOCK: a FIFO planted at the name must not hang the opener.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                  0644);
  if (fd < 0) {
    last_error_ = errno;
    return ClassifyRefusal(path);
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    last_error_ = errno;
    ::close(fd);
    return OpenResult::NotRegularFile;
  }
  ::fcntl(fd, F_SETFL, O_APPEND);
  fd_ = fd;
  last_error_ = 0;
  return OpenResult::Opened;
}

bool SharedAppendFile::TryLockExclusive() {
  if (fd_ < 0) return false;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  last_error_ = errno;
  return false;
}

bool SharedAppendFile::LockShared(std::chrono::milliseconds wait) {
  if (fd_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd_, LOCK_SH | LOCK_NB) == 0) return true;
    last_error_ = errno;
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool SharedAppendFile::Truncate() {
  if (fd_ < 0) return false;
  if (::ftruncate(fd_, 0) == 0) return true;
  last_error_ = errno;
  return false;
}

bool SharedAppendFile::AppendWhole(const void* data, size_t n) {
  if (fd_ < 0) {
    last_error_ = EBADF;
    return false;
  }
  for (;;) {
    ssize_t put = ::write(fd_, data, n);
    if (put < 0 && errno == EINTR) continue;
    if (put == static_cast<ssize_t>(n)) return true;
    last_error_ = put < 0 ? errno : ENOSPC;
    return false;
  }
}

void SharedAppendFile::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

bool ReplaceFileWhole(const std::string& path, const void* data, int64_t n) {
  // A name no other saver uses: this process's id and a count, and a new
  // count whenever a file of that name is already there (a killed run's).
  static std::atomic<uint64_t> count{0};
  PlatformFile file;
  std::string temporary;
  for (int attempt = 0;; ++attempt) {
    temporary = path + "." + std::to_string(::getpid()) + "-" + std::to_string(count++) + ".tmp";
    if (file.CreateNew(temporary)) break;
    if (file.LastError() != EEXIST || attempt == 100) {
      errno = file.LastError();
      return false;
    }
  }
  int error = 0;
  if (file.Write(data, n) != n) error = file.LastError() ? file.LastError() : EIO;
  if (error == 0 && !file.Flush()) error = file.LastError();
  if (!file.Close() && error == 0) error = file.LastError();
  if (error == 0 && !RenameFile(temporary, path)) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    errno = error;
    return false;
  }
  return true;
}
