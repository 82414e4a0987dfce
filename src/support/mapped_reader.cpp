#include "support/mapped_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/guarded_copy.h"

namespace {

constexpr int64_t kMaxBufferBytes = 1 << 20;

int64_t PageBytes() {
  static const int64_t page = [] {
    const long bytes = sysconf(_SC_PAGESIZE);
    return bytes > 0 ? static_cast<int64_t>(bytes) : int64_t{4096};
  }();
  return page;
}

int64_t WholePages(int64_t bytes) {
  const int64_t page = PageBytes();
  return std::max<int64_t>(page, (bytes + page - 1) / page * page);
}

}  // namespace

MappedFileReader::MappedFileReader(int64_t window_bytes)
    : window_bytes_(WholePages(window_bytes)),
      buffer_bytes_(std::min<int64_t>(window_bytes_, kMaxBufferBytes)) {}

MappedFileReader::~MappedFileReader() { Stop(); }

void MappedFileReader::Start(const PlatformFile& file, int64_t offset) {
  Stop();
  file_ = &file;
  position_ = offset;
  last_error_ = 0;
  map_allowed_ = true;
  seekable_ = true;
}

void MappedFileReader::Stop() {
  DropWindow();
  std::vector<uint8_t>().swap(buffer_);
  file_ = nullptr;
}

void MappedFileReader::DropWindow() {
  if (map_base_ != nullptr) munmap(map_base_, map_length_);
  map_base_ = nullptr;
  map_length_ = 0;
  window_ = nullptr;
  window_offset_ = window_length_ = 0;
}

void MappedFileReader::Seek(int64_t offset) {
  position_ = offset;
  if (position_ < window_offset_ || position_ >= window_offset_ + window_length_) DropWindow();
}

int64_t MappedFileReader::Read(void* into, int64_t n) {
  last_error_ = 0;
  if (file_ == nullptr || !file_->IsOpen()) {
    last_error_ = EBADF;
    return 0;
  }
  uint8_t* out = static_cast<uint8_t*>(into);
  int64_t done = 0;
  while (done < n) {
    const int64_t window_end = window_offset_ + window_length_;
    if (position_ >= window_offset_ && position_ < window_end) {
      const int64_t take = std::min(n - done, window_end - position_);
      const uint8_t* from = window_ + (position_ - window_offset_);
      if (map_base_ == nullptr) {
        std::memcpy(out + done, from, static_cast<size_t>(take));
      } else if (!GuardedCopy(out + done, from, static_cast<size_t>(take))) {
        // The file shrank under the mapping: what was copied before this
        // piece stands, the rest is a read error.
        DropWindow();
        last_error_ = EIO;
        break;
      }
      position_ += take;
      done += take;
      // A window read to its end goes at once, with its resident pages.
      if (position_ == window_end) DropWindow();
      continue;
    }
    DropWindow();
    if (last_error_ != 0) break;  // the buffer ended at a read error
    if (MapWindow()) continue;
    // A request as large as the buffer goes straight to its destination.
    if (n - done >= buffer_bytes_) {
      const int64_t got = ReadAt(out + done, n - done);
      position_ += got;
      done += got;
      break;
    }
    if (!FillBuffer()) break;
  }
  return done;
}

bool MappedFileReader::MapWindow() {
  if (!map_allowed_) return false;
  const int fd = file_->Descriptor();
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || !InstallCopyGuard()) {
    map_allowed_ = false;
    return false;
  }
  // At or past the size (the end, a file still growing, a /proc file that
  // reads as empty): the fallback finds out what is there.
  const int64_t size = static_cast<int64_t>(status.st_size);
  if (position_ >= size) return false;

  const int64_t start = position_ - position_ % PageBytes();
  const int64_t length = std::min(window_bytes_, size - start);
  void* base = mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, fd,
                    static_cast<off_t>(start));
  if (base == MAP_FAILED) {
    map_allowed_ = false;
    return false;
  }
  madvise(base, static_cast<size_t>(length), MADV_SEQUENTIAL);
  map_base_ = base;
  map_length_ = static_cast<size_t>(length);
  window_ = static_cast<const uint8_t*>(base);
  window_offset_ = start;
  window_length_ = length;
  return true;
}

bool MappedFileReader::FillBuffer() {
  if (buffer_.empty()) buffer_.resize(static_cast<size_t>(buffer_bytes_));
  const int64_t got = ReadAt(buffer_.data(), buffer_bytes_);
  if (got == 0) return false;
  window_ = buffer_.data();
  window_offset_ = position_;
  window_length_ = got;
  return true;
}

int64_t MappedFileReader::ReadAt(uint8_t* into, int64_t n) {
  const int fd = file_->Descriptor();
  int64_t done = 0;
  while (done < n) {
    const size_t want = static_cast<size_t>(n - done);
    const ssize_t got = seekable_ ? pread(fd, into + done, want, static_cast<off_t>(position_ + done))
                                  : read(fd, into + done, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == ESPIPE && seekable_) {
        seekable_ = false;  // a pipe: read on from where it stands
        continue;
      }
      last_error_ = errno;
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}
