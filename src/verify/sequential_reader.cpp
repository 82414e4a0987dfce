// Sequential reading of one file in large pieces for the self-check.
#include "verify/sequential_reader.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

// The processors this process may run on.
int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
}

// Pieces asked of the kernel ahead of the one being read: while a read waits
// for the disk, the next reads are already queued behind it.
constexpr int64_t kPiecesAhead = 2;
// A small file is read in one piece of its own size.
constexpr size_t kSmallestPiece = 64u << 10;

}  // namespace

bool sequentialreaderclass::Open(const std::string& path, int64_t offset) {
  Close();
  error_ = 0;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = errno;
    return false;
  }
  struct stat info {};
  file_size_ = ::fstat(fd_, &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
  // Advice only: a file system that ignores it reads the same bytes.
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);

  position_ = next_offset_ = std::max<int64_t>(offset, 0);
  const int64_t remaining = std::max<int64_t>(file_size_ - position_, 0);
  // One more byte than the file holds: its piece then comes up short and
  // ends the reading without a second read.
  piece_ = std::clamp<size_t>(static_cast<size_t>(std::min<int64_t>(remaining, kPieceBytes)) + 1,
                              kSmallestPiece, kPieceBytes);
  for (std::vector<uint8_t>& buffer : buffers_) {
    if (buffer.size() < kTakeInPlaceBytes + piece_) buffer.resize(kTakeInPlaceBytes + piece_);
  }
  current_ = 0;
  pos_ = len_ = kTakeInPlaceBytes;
  ended_ = false;
  // A file of one piece gains nothing from a thread.
  if (remaining > static_cast<int64_t>(piece_) && UsableProcessors() >= 2) StartThread();
  return true;
}

void sequentialreaderclass::Close() {
  StopThread();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  pos_ = len_ = 0;
  ended_ = true;
}

const uint8_t* sequentialreaderclass::Take(size_t n, size_t& got) {
  if (len_ - pos_ < n && n <= kTakeInPlaceBytes) {
    while (len_ - pos_ < n && NextPiece()) {
    }
  }
  if (len_ - pos_ >= n || n <= kTakeInPlaceBytes) {
    got = std::min(n, len_ - pos_);
    const uint8_t* span = buffers_[current_].data() + pos_;
    pos_ += got;
    position_ += static_cast<int64_t>(got);
    return span;
  }
  // Larger than a span in place: gathered piece by piece.
  if (large_.size() < n) large_.resize(n);
  got = 0;
  for (;;) {
    const size_t k = std::min(n - got, len_ - pos_);
    std::memcpy(large_.data() + got, buffers_[current_].data() + pos_, k);
    pos_ += k;
    got += k;
    if (got == n || !NextPiece()) break;
  }
  position_ += static_cast<int64_t>(got);
  return large_.data();
}

bool sequentialreaderclass::NextPiece() {
  if (ended_ || fd_ < 0) return false;
  const int other = 1 - current_;
  int64_t got = 0;
  int error = 0;
  if (thread_.joinable()) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return done_; });
    done_ = false;
    got = request_got_;
    error = request_error_;
  } else {
    got = ReadPiece(buffers_[other].data() + kTakeInPlaceBytes, next_offset_, error);
  }
  next_offset_ += got;
  // The bytes not yet taken go in front of the piece, so that a span
  // across the two lies in one piece of memory.
  const size_t left = len_ - pos_;
  uint8_t* piece = buffers_[other].data() + kTakeInPlaceBytes;
  std::memmove(piece - left, buffers_[current_].data() + pos_, left);
  current_ = other;
  pos_ = kTakeInPlaceBytes - left;
  len_ = kTakeInPlaceBytes + static_cast<size_t>(got);
  if (got < static_cast<int64_t>(piece_)) {
    // The end of the file, or a read error that ends the data here.
    ended_ = true;
    error_ = error;
    StopThread();
  } else if (thread_.joinable()) {
    RequestPiece(1 - current_);  // into the buffer just left
  }
  return got > 0;
}

int64_t sequentialreaderclass::ReadPiece(uint8_t* into, int64_t offset, int& error) {
  error = 0;
  const int64_t piece = static_cast<int64_t>(piece_);
  // A piece the page cache holds whole is taken at once; only a file that
  // comes from the disk needs the kernel to start on what follows.
  iovec span{into, piece_};
  int64_t done = ::preadv2(fd_, &span, 1, offset, RWF_NOWAIT);
  if (done == piece) return done;
  if (done < 0) done = 0;
  if (offset + piece < file_size_) {
    ::posix_fadvise(fd_, offset + piece, kPiecesAhead * piece, POSIX_FADV_WILLNEED);
  }
  while (done < piece) {
    const ssize_t n = ::pread(fd_, into + done, static_cast<size_t>(piece - done), offset + done);
    if (n > 0) {
      done += n;
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      error = errno;
      break;
    }
  }
  return done;
}

void sequentialreaderclass::StartThread() {
  requested_ = done_ = stopping_ = false;
  try {
    thread_ = std::thread(&sequentialreaderclass::Run, this);
  } catch (const std::system_error&) {
    return;  // no thread to be had: the pieces are read as they are wanted
  }
  RequestPiece(1 - current_);
}

void sequentialreaderclass::StopThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void sequentialreaderclass::RequestPiece(int buffer) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    request_buffer_ = buffer;
    request_offset_ = next_offset_;
    requested_ = true;
    done_ = false;
  }
  changed_.notify_all();
}

void sequentialreaderclass::Run() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return requested_ || stopping_; });
    if (stopping_) return;
    requested_ = false;
    uint8_t* into = buffers_[request_buffer_].data() + kTakeInPlaceBytes;
    const int64_t offset = request_offset_;
    guard.unlock();
    int error = 0;
    const int64_t got = ReadPiece(into, offset, error);
    guard.lock();
    request_got_ = got;
    request_error_ = error;
    done_ = true;
    changed_.notify_all();
  }
}
