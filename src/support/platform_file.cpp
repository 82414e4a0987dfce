#include "support/platform_file.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

struct WriteFault {
  std::mutex lock;
  bool active = false;
  std::string path_part;
  int64_t remaining = 0;
  int error_number = 0;
};

WriteFault& Fault() {
  static WriteFault fault;
  return fault;
}

// Returns how many of the n bytes may be written before the injected fault
// strikes, and sets *error when it does. Cheap when no fault is set.
int64_t AllowedBeforeFault(const std::string& path, int64_t n, int* error) {
  WriteFault& f = Fault();
  std::lock_guard<std::mutex> guard(f.lock);
  if (!f.active || path.find(f.path_part) == std::string::npos) return n;
  if (f.remaining >= n) {
    f.remaining -= n;
    return n;
  }
  int64_t allowed = f.remaining;
  f.remaining = 0;
  *error = f.error_number;
  return allowed;
}

}  // namespace

PlatformFile::~PlatformFile() { Close(); }

PlatformFile::PlatformFile(PlatformFile&& other) noexcept
    : fd_(other.fd_), last_error_(other.last_error_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

PlatformFile& PlatformFile::operator=(PlatformFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    last_error_ = other.last_error_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

bool PlatformFile::OpenRead(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

bool PlatformFile::CreateWrite(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    last_error_ = errno;
    return false;
  }
  fd_ = fd;
  path_ = path;
  last_error_ = 0;
  return true;
}

bool PlatformFile::Close() {
  if (fd_ < 0) return true;
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) {
    last_error_ = errno;
    return false;
  }
  return true;
}

int64_t PlatformFile::Read(void* buffer, int64_t n) {
  if (fd_ < 0) {
    last_error_ = EBADF;
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
  return done;
}

int64_t PlatformFile::WritePieces(const piece* pieces, int count) {
  if (fd_ < 0) {
    last_error_ = EBADF;
    return 0;
  }
  constexpr int kMaxPieces = 8;
  if (count < 0 || count > kMaxPieces) {
    last_error_ = EINVAL;
    return 0;
  }
  int64_t total = 0;
  for (int i = 0; i < count; ++i) total += pieces[i].size;
  // An injected fault cuts the pieces where it strikes.
  int fault_error = 0;
  int64_t allowed = AllowedBeforeFault(path_, total, &fault_error);
  iovec io[kMaxPieces];
  int left = 0;
  for (int i = 0; i < count && allowed > 0; ++i) {
    const int64_t size = pieces[i].size < allowed ? pieces[i].size : allowed;
    io[left].iov_base = const_cast<void*>(pieces[i].data);
    io[left].iov_len = static_cast<size_t>(size);
    allowed -= size;
    ++left;
  }
  int64_t wanted = 0;
  for (int i = 0; i < left; ++i) wanted += static_cast<int64_t>(io[i].iov_len);
  iovec* next = io;
  int64_t done = 0;
  while (done < wanted) {
    ssize_t put = ::writev(fd_, next, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      last_error_ = errno;
      return done;
    }
    done += put;
    // A short write: move past what went out.
    size_t rest = static_cast<size_t>(put);
    while (left > 0 && rest >= next->iov_len) {
      rest -= next->iov_len;
      ++next;
      --left;
    }
    if (left > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + rest;
      next->iov_len -= rest;
    }
  }
  if (fault_error != 0) last_error_ = fault_error;
  return done;
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

bool DeleteFileAt(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string CurrentFolder() {
  char buf[4096];
  return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool SetCurrentFolder(const std::string& path) { return ::chdir(path.c_str()) == 0; }

void SetFileWriteFault(const std::string& path_part, int64_t bytes_before_fault, int error_number) {
  WriteFault& f = Fault();
  std::lock_guard<std::mutex> guard(f.lock);
  f.active = !path_part.empty();
  f.path_part = path_part;
  f.remaining = bytes_before_fault;
  f.error_number = error_number;
}

void ClearFileWriteFault() { SetFileWriteFault("", 0, 0); }
