// Sequential reading of one file for the self-check.
#include "verify/sequential_reader.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
}

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
  position_ = next_offset_ = asked_until_ = std::max<int64_t>(offset, 0);
  if (buffer_.size() < kTakeInPlaceBytes + kPieceBytes)
    buffer_.resize(kTakeInPlaceBytes + kPieceBytes);
  pos_ = len_ = kTakeInPlaceBytes;
  ended_ = false;
  return true;
}

void sequentialreaderclass::Close() {
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
    const uint8_t* span = buffer_.data() + pos_;
    pos_ += got;
    position_ += static_cast<int64_t>(got);
    return span;
  }
  // Larger than a span in place: gathered piece by piece.
  if (large_.size() < n) large_.resize(n);
  got = 0;
  for (;;) {
    const size_t k = std::min(n - got, len_ - pos_);
    std::memcpy(large_.data() + got, buffer_.data() + pos_, k);
    pos_ += k;
    got += k;
    if (got == n || !NextPiece()) break;
  }
  position_ += static_cast<int64_t>(got);
  return large_.data();
}

bool sequentialreaderclass::NextPiece() {
  if (ended_ || fd_ < 0) return false;
  // The bytes not yet taken go in front of the piece, so that a span
  // across the two lies in one piece of memory.
  const size_t left = len_ - pos_;
  uint8_t* piece = buffer_.data() + kTakeInPlaceBytes;
  std::memmove(piece - left, buffer_.data() + pos_, left);
  pos_ = kTakeInPlaceBytes - left;
  len_ = kTakeInPlaceBytes;

  const int64_t offset = next_offset_;
  const int64_t size = static_cast<int64_t>(kPieceBytes);
  // A piece the page cache holds whole is taken at once; only a file that
  // comes from the disk needs the kernel to start on what follows.
  iovec span{piece, kPieceBytes};
  int64_t done = ::preadv2(fd_, &span, 1, offset, RWF_NOWAIT);
  if (done < 0) done = 0;
  if (done < size && offset + kAskAheadBytes / 2 > asked_until_ && asked_until_ < file_size_) {
    const int64_t from = std::max(asked_until_, offset);
    asked_until_ = offset + kAskAheadBytes;
    ::posix_fadvise(fd_, from, asked_until_ - from, POSIX_FADV_WILLNEED);
  }
  while (done < size) {
    const ssize_t n = ::pread(fd_, piece + done, static_cast<size_t>(size - done), offset + done);
    if (n > 0) {
      done += n;
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      // A failed read ends the data here, as the end of the file would.
      error_ = errno;
      break;
    }
  }
  next_offset_ += done;
  len_ += static_cast<size_t>(done);
  if (done < size) ended_ = true;
  return done > 0;
}
