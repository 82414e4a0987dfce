// Sequential reading of one file through two large buffers and a thread.
#include "support/buffered_file_reader.h"

#include <fcntl.h>

#include <algorithm>
#include <cassert>
#include <cstring>

bufferedfilereaderclass::bufferedfilereaderclass(const bufferedreadersettingsstruct& settings)
    : settings_(settings) {
  assert(settings_.block_bytes > 0);
}

bufferedfilereaderclass::~bufferedfilereaderclass() { Close(); }

bool bufferedfilereaderclass::Open(const std::string& path) {
  Close();
  if (!file_.OpenRead(path)) return false;
  // Advice only: a file system that ignores it reads the same bytes.
  ::posix_fadvise(file_.Descriptor(), 0, 0, POSIX_FADV_SEQUENTIAL);
  file_size_ = file_.Size();
  position_ = 0;
  read_error_ = 0;
  ended_ = false;
  whole_refills_ = 0;
  advised_until_ = 0;
  return true;
}

bool bufferedfilereaderclass::Close() {
  StopThread();
  pos_ = len_ = 0;
  for (std::vector<uint8_t>& buffer : buffers_) std::vector<uint8_t>().swap(buffer);
  current_ = 0;
  file_size_ = -1;
  if (!file_.IsOpen()) return true;
  return file_.Close();
}

bool bufferedfilereaderclass::Seek(int64_t offset) {
  StopThread();
  // A failed seek leaves the file where the thread left it: after the
  // bytes buffered, which still follow Position.
  if (!file_.Seek(offset)) return false;
  position_ = offset;
  pos_ = len_ = 0;  // the buffered bytes belong elsewhere now
  ended_ = false;
  whole_refills_ = 0;
  return true;
}

const uint8_t* bufferedfilereaderclass::View(size_t n, size_t& got) {
  const size_t held = len_ - pos_ >= n ? len_ - pos_ : Fill(n);
  got = std::min(n, held);
  assert(pos_ <= len_ && len_ <= buffers_[current_].size());
  return buffers_[current_].data() + pos_;
}

void bufferedfilereaderclass::Consume(size_t n) {
  assert(n <= len_ - pos_);
  pos_ += n;
  position_ += static_cast<int64_t>(n);
}

void bufferedfilereaderclass::SizeBuffer(size_t least) {
  // No larger than the file: a small file needs no large buffer.
  const int64_t most = std::max<int64_t>(file_size_, 1);
  const size_t wanted =
      static_cast<size_t>(std::min<int64_t>(most, static_cast<int64_t>(std::max(settings_.block_bytes, least))));
  std::vector<uint8_t>& buffer = buffers_[current_];
  if (buffer.size() < wanted) buffer.resize(wanted);
}

int64_t bufferedfilereaderclass::ReadFile(uint8_t* into, int64_t size) {
  const int64_t got = file_.Read(into, size);
  if (got < size) {
    // The file layer reads until the count is met: less is the end of the
    // file or a failed read, and either ends the data here.
    ended_ = true;
    if (file_.LastError() != 0 && read_error_ == 0) read_error_ = file_.LastError();
  }
  return got;
}

void bufferedfilereaderclass::AdviseAhead(int64_t end) {
  if (settings_.advise_ahead_bytes <= 0 || end + settings_.advise_ahead_bytes / 2 <= advised_until_) return;
  const int64_t from = std::max(advised_until_, end);
  advised_until_ = end + settings_.advise_ahead_bytes;
  // Advice only: a failure costs speed, never data.
  ::posix_fadvise(file_.Descriptor(), from, advised_until_ - from, POSIX_FADV_WILLNEED);
}

size_t bufferedfilereaderclass::Fill(size_t wanted) {
  if (!file_.IsOpen()) return len_ - pos_;
  while (len_ - pos_ < wanted && !ended_) {
    if (thread_.Pending() && len_ - pos_ <= headroom_) {
      TakePiece();
      continue;
    }
    // A view larger than the room before a piece is read here.
    if (thread_.Running()) StopThread();
    SizeBuffer(wanted);
    std::vector<uint8_t>& buffer = buffers_[current_];
    // The unread bytes move to the front, so that what follows them
    // arrives in one piece.
    const size_t held = len_ - pos_;
    if (pos_ > 0) {
      std::memmove(buffer.data(), buffer.data() + pos_, held);
      pos_ = 0;
      len_ = held;
    }
    const int64_t room = static_cast<int64_t>(buffer.size() - len_);
    // The buffer holds the whole file as it was at open: a view longer
    // than that ends at what it holds (reading on would read nothing, for
    // ever).
    if (room == 0) break;
    const int64_t got = ReadFile(buffer.data() + len_, room);
    len_ += static_cast<size_t>(got);
    if (got < room) break;
    AdviseAhead(position_ + static_cast<int64_t>(len_));
    // The second whole block in a row: the reading goes straight on.
    if (++whole_refills_ >= 2) StartThread(wanted);
  }
  return len_ - pos_;
}

int64_t bufferedfilereaderclass::Read(void* into, int64_t n) {
  uint8_t* to = static_cast<uint8_t*>(into);
  if (!file_.IsOpen()) return 0;
  // Copying reads use the file itself.
  StopThread();
  int64_t done = 0;
  while (done < n) {
    if (pos_ == len_) {
      if (ended_) break;
      const int64_t wanted = n - done;
      // A read as large as a block goes straight to its destination.
      if (wanted >= static_cast<int64_t>(settings_.block_bytes)) {
        const int64_t got = ReadFile(to + done, wanted);
        done += got;
        position_ += got;
        break;
      }
      SizeBuffer(0);
      std::vector<uint8_t>& buffer = buffers_[current_];
      pos_ = 0;
      len_ = static_cast<size_t>(ReadFile(buffer.data(), static_cast<int64_t>(buffer.size())));
      if (len_ == 0) break;
    }
    const size_t k = std::min(len_ - pos_, static_cast<size_t>(n - done));
    std::memcpy(to + done, Data() + pos_, k);
    Consume(k);
    done += static_cast<int64_t>(k);
  }
  return done;
}

void bufferedfilereaderclass::StartThread(size_t view_bytes) {
  // The thread's piece follows the buffered bytes in the file.
  const int64_t next_offset = position_ + static_cast<int64_t>(len_ - pos_);
  // Views larger than a block are read as they come: two buffers of
  // several of them would cost more memory than the thread saves time.
  if (settings_.thread_piece_bytes == 0 || next_offset >= file_size_ || view_bytes > settings_.block_bytes)
    return;
  if (!thread_.Start(file_, settings_.advise_ahead_bytes)) return;
  headroom_ = view_bytes;
  thread_offset_ = next_offset;
  // Both buffers hold the room for a view and a piece. The current one is
  // only resized here, before any view is taken from what it holds now.
  const size_t size = headroom_ + settings_.thread_piece_bytes;
  for (std::vector<uint8_t>& buffer : buffers_) {
    if (buffer.size() < size) buffer.resize(size);
  }
  RequestPiece();
}

void bufferedfilereaderclass::RequestPiece() {
  std::vector<uint8_t>& other = buffers_[1 - current_];
  assert(other.size() >= headroom_ + settings_.thread_piece_bytes);
  thread_.Request(other.data() + headroom_, static_cast<int64_t>(settings_.thread_piece_bytes));
}

void bufferedfilereaderclass::TakePiece() {
  const size_t held = len_ - pos_;
  assert(held <= headroom_);
  const int64_t got = thread_.Wait();
  uint8_t* piece = buffers_[1 - current_].data() + headroom_;
  std::memcpy(piece - held, Data() + pos_, held);
  current_ = 1 - current_;
  pos_ = headroom_ - held;
  len_ = headroom_ + static_cast<size_t>(got);
  thread_offset_ += got;
  if (got < static_cast<int64_t>(settings_.thread_piece_bytes)) {
    // The end of the file, or a failed read that ends the data here.
    ended_ = true;
    if (file_.LastError() != 0 && read_error_ == 0) read_error_ = file_.LastError();
    StopThread();
  } else if (thread_offset_ < file_size_) {
    RequestPiece();  // into the buffer just left
  } else {
    StopThread();  // nothing more to read
  }
}

void bufferedfilereaderclass::StopThread() {
  whole_refills_ = 0;
  if (!thread_.Running()) return;
  thread_.Stop();
  // A piece read and not taken is dropped: the file goes on after the
  // bytes buffered.
  file_.Seek(position_ + static_cast<int64_t>(len_ - pos_));
}
