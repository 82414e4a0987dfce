// The archive's read-ahead: the frame blocks are drawn from a buffer of
// 256 KiB (or one block, when a block is larger) rather than read field by
// field, so a pass makes one system call per 256 KiB of archive, and the
// buffer stays in the processor's cache while its blocks are converted.
//
// Once a pass reads straight on through a large archive, a read-ahead
// thread reads the next piece into the second buffer while the blocks of
// the first are converted, so the kernel's copy of the archive costs the
// conversion no time of its own. Each piece the thread reads lies behind
// room for one block: the unconverted start of a block that straddles two
// pieces is put there, so that every block lies in one piece. Any other use
// of the file (a seek, the header, closing) stops the thread first and puts
// the file's offset back at the end of the buffered bytes.
//
// An archive straight off a recorder drive is not in the page cache, and
// is read no faster than the disk is kept busy. With the kernel's own
// read-ahead alone (one 4 MiB piece asked for at a time, the file marked
// sequential) a 1 GiB conversion from a cold cache took 0.75 to 1 s in
// some runs and 2.3 to 3.6 s in others on the same machine, the kernel
// spending 2 s and more of system time in the slow ones. So the thread
// also asks the disk for the bytes up to 32 MiB past each piece (fetched
// into the page cache without anyone waiting); the same conversion then
// took 0.8 to 1.5 s in every run. The advice costs some system time of its
// own on the thread (about 0.2 s per GiB), which the second processor
// absorbs; more or larger pieces would cost memory of this process instead.
#include <algorithm>
#include <cstring>

#include "archive/archive_reader.h"

namespace {
constexpr int64_t kReadAheadBytes = 256 * 1024;
// The thread reads in pieces of 4 MiB: each hand-over between the two
// threads costs some tens of microseconds (the idle thread must be woken),
// which pieces this large make negligible; smaller ones let the hand-overs
// eat the gain (256 KiB pieces: slower than reading without the thread).
constexpr int64_t kThreadPieceBytes = 4 * 1024 * 1024;
// How far past each piece the disk is asked to read ahead (see above).
constexpr int64_t kAdviseAheadBytes = 32 * 1024 * 1024;
}  // namespace

void orloarkclass::SizeReadAhead(int64_t least) {
  // No larger than the file: a small archive needs no large buffer.
  const int64_t wanted = std::clamp<int64_t>(file_size_, 1, std::max(kReadAheadBytes, least));
  std::vector<uint8_t>& buffer = read_ahead_[current_ahead_];
  if (static_cast<int64_t>(buffer.size()) < wanted) buffer.resize(static_cast<size_t>(wanted));
}

size_t orloarkclass::FillReadAhead(size_t wanted) {
  size_t held = read_ahead_len_ - read_ahead_pos_;
  if (held >= wanted) return held;
  if (read_thread_.Pending()) {
    if (held <= thread_headroom_) return TakeThreadPiece();
    StopReadThread();  // a block larger than the room before a piece: read it here
  }
  SizeReadAhead(static_cast<int64_t>(wanted));
  std::vector<uint8_t>& buffer = read_ahead_[current_ahead_];
  // The unread bytes move to the front, so that what follows them arrives
  // in one piece.
  if (read_ahead_pos_ > 0) {
    std::memmove(buffer.data(), buffer.data() + read_ahead_pos_, held);
    read_ahead_pos_ = 0;
    read_ahead_len_ = held;
  }
  if (!read_failed_) {
    const int64_t room = static_cast<int64_t>(buffer.size() - read_ahead_len_);
    const int64_t got = file_.Read(buffer.data() + read_ahead_len_, room);
    read_ahead_len_ += static_cast<size_t>(got);
    // A failed read ends the data here, as the end of the file would: a
    // later read that happened to succeed would hide the loss.
    if (got < room && file_.LastError() != 0) {
      read_failed_ = true;
    } else if (got == room) {
      // The second whole buffer in a row: the pass reads straight on.
      if (++whole_refills_ >= 2) StartReadThread(wanted);
    }
  }
  return read_ahead_len_ - read_ahead_pos_;
}

void orloarkclass::StartReadThread(size_t block_bytes) {
  // The thread's piece follows the buffered bytes in the file.
  const int64_t next_offset = file_position_ + static_cast<int64_t>(read_ahead_len_ - read_ahead_pos_);
  // Large blocks are read as they come: two buffers of several blocks each
  // would cost more memory than the thread saves time.
  if (next_offset >= file_size_ || block_bytes > static_cast<size_t>(kReadAheadBytes)) return;
  if (!read_thread_.Start(file_, kAdviseAheadBytes)) return;
  thread_headroom_ = block_bytes;
  thread_offset_ = next_offset;
  // Both buffers hold the room for a block and a piece. The current one is
  // only resized here, before any block is taken from what it holds now.
  const size_t size = thread_headroom_ + static_cast<size_t>(kThreadPieceBytes);
  for (std::vector<uint8_t>& buffer : read_ahead_) {
    if (buffer.size() < size) buffer.resize(size);
  }
  RequestThreadPiece();
}

void orloarkclass::RequestThreadPiece() {
  std::vector<uint8_t>& other = read_ahead_[1 - current_ahead_];
  read_thread_.Request(other.data() + thread_headroom_, kThreadPieceBytes);
}

size_t orloarkclass::TakeThreadPiece() {
  const size_t held = read_ahead_len_ - read_ahead_pos_;
  const int64_t got = read_thread_.Wait();
  uint8_t* piece = read_ahead_[1 - current_ahead_].data() + thread_headroom_;
  std::memcpy(piece - held, AheadData() + read_ahead_pos_, held);
  current_ahead_ = 1 - current_ahead_;
  read_ahead_pos_ = thread_headroom_ - held;
  read_ahead_len_ = thread_headroom_ + static_cast<size_t>(got);
  thread_offset_ += got;
  if (got < kThreadPieceBytes) {
    // The end of the file, or a read error that ends the data here.
    if (file_.LastError() != 0) read_failed_ = true;
    StopReadThread();
  } else if (thread_offset_ < file_size_) {
    RequestThreadPiece();  // into the buffer just left
  } else {
    StopReadThread();  // nothing more to read
  }
  return read_ahead_len_ - read_ahead_pos_;
}

void orloarkclass::StopReadThread() {
  whole_refills_ = 0;
  if (!read_thread_.Running()) return;
  read_thread_.Stop();
  // A piece read and not taken is dropped: the file continues after the
  // bytes buffered.
  file_.Seek(file_position_ + static_cast<int64_t>(read_ahead_len_ - read_ahead_pos_));
}

void orloarkclass::DropReadAhead() {
  StopReadThread();
  if (read_ahead_pos_ < read_ahead_len_) file_.Seek(file_position_);
  read_ahead_pos_ = read_ahead_len_ = 0;
}

int64_t orloarkclass::ReadAhead(uint8_t* into, int64_t size) {
  // Field by field reading uses the file itself.
  StopReadThread();
  int64_t done = 0;
  while (done < size) {
    if (read_ahead_pos_ == read_ahead_len_) {
      if (read_failed_) break;
      const int64_t wanted = size - done;
      // A field as large as the buffer goes straight to its destination.
      if (wanted >= static_cast<int64_t>(kReadAheadBytes)) {
        done += file_.Read(into + done, wanted);
        break;
      }
      SizeReadAhead(0);
      std::vector<uint8_t>& buffer = read_ahead_[current_ahead_];
      read_ahead_pos_ = 0;
      read_ahead_len_ = static_cast<size_t>(file_.Read(buffer.data(), static_cast<int64_t>(buffer.size())));
      if (read_ahead_len_ == 0) break;  // end of file or a read error
    }
    const size_t n = std::min(read_ahead_len_ - read_ahead_pos_, static_cast<size_t>(size - done));
    std::memcpy(into + done, AheadData() + read_ahead_pos_, n);
    read_ahead_pos_ += n;
    done += static_cast<int64_t>(n);
  }
  return done;
}
