// A file the self-check reads once, front to back, in large pieces. The
// kernel is told the access is sequential and asked to start on the next
// pieces before they are wanted, so that a file coming from the disk keeps
// the disk busy. Where this process may run on a second processor, and the
// file is larger than one piece, a thread of the reader's own reads the next
// piece (the kernel's copy runs on that processor) while the caller works on
// the one before.
//
// The caller takes the file as spans of the size it asks for, each in one
// piece of memory and valid until its next Take. A span of up to
// kTakeInPlaceBytes lies in the reader's buffers, so the bytes are not
// copied again; a larger one is gathered in a buffer of its size.
//
// The self-check reads its two files with this reader rather than with the
// converter's: the converter's read-ahead of the archive and its buffers
// are then checked too, not shared.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class sequentialreaderclass {
 public:
  static constexpr size_t kPieceBytes = 2u << 20;
  static constexpr size_t kTakeInPlaceBytes = 512u << 10;

  sequentialreaderclass() = default;
  ~sequentialreaderclass() { Close(); }
  sequentialreaderclass(const sequentialreaderclass&) = delete;
  sequentialreaderclass& operator=(const sequentialreaderclass&) = delete;

  // Opens the file and reads it from byte `offset` on (a reader opened
  // again starts afresh). False, with LastError, when it cannot be opened.
  bool Open(const std::string& path, int64_t offset = 0);
  void Close();

  // The next n bytes of the file: `got` of them, fewer than n only at the
  // end of the file or after a read error (LastError tells which). They
  // count as read either way.
  const uint8_t* Take(size_t n, size_t& got);
  // File offset of the next byte Take delivers.
  int64_t Position() const { return position_; }
  // The error number of the read that failed; 0 while none has.
  int LastError() const { return error_; }

 private:
  // Brings the next piece into the other buffer behind the bytes not yet
  // taken from the current one, and makes it the current one. False when
  // the file had nothing more.
  bool NextPiece();
  // Reads the piece at `offset` into `into` (kPieceBytes at most), after
  // asking the kernel for the pieces that follow it; the bytes read, with
  // the error number of a failed read.
  int64_t ReadPiece(uint8_t* into, int64_t offset, int& error);
  void StartThread();
  void StopThread();
  void RequestPiece(int buffer);
  void Run();

  int fd_ = -1;
  int64_t file_size_ = 0;
  size_t piece_ = kPieceBytes;  // bytes per read: smaller for a small file
  int64_t position_ = 0;
  int error_ = 0;
  // Two buffers, each room for a span taken in place before a piece: the
  // caller takes from the current one while the next piece arrives in the
  // other.
  std::vector<uint8_t> buffers_[2];
  int current_ = 0;
  size_t pos_ = 0;              // next byte of the current buffer to take
  size_t len_ = 0;              // end of its bytes
  int64_t next_offset_ = 0;     // file offset of the next piece
  bool ended_ = false;          // no piece after the current one
  std::vector<uint8_t> large_;  // a span larger than kTakeInPlaceBytes

  // The reading thread and its one request, guarded by lock_.
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool requested_ = false;
  bool done_ = false;
  bool stopping_ = false;
  int request_buffer_ = 0;
  int64_t request_offset_ = 0;
  int64_t request_got_ = 0;
  int request_error_ = 0;
};
