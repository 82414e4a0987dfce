// A file the self-check reads once, front to back, in pieces small enough to
// stay in the processor's cache while the bytes are checked. The kernel is
// told the access is sequential, and when a piece is not in the page cache
// it is asked to start on the next megabytes before they are wanted, so
// that a file coming from the disk keeps the disk busy while the check
// works on what has arrived.
//
// The caller takes the file as spans of the size it asks for, each in one
// piece of memory and valid until its next Take. A span of up to
// kTakeInPlaceBytes lies in the reader's buffer, so the bytes are not
// copied again; a larger one is gathered in a buffer of its size.
//
// The self-check reads its two files with this reader rather than with the
// converter's: the converter's read-ahead of the archive and its buffers
// are then checked too, not shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class sequentialreaderclass {
 public:
  static constexpr size_t kPieceBytes = 128u << 10;
  static constexpr size_t kTakeInPlaceBytes = 512u << 10;
  // How far ahead of the reading the kernel is asked for a file that comes
  // from the disk.
  static constexpr int64_t kAskAheadBytes = 16 << 20;

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
  // Moves the bytes not yet taken to the front of the piece's place and
  // reads the next piece behind them. False when the file had nothing more.
  bool NextPiece();

  int fd_ = -1;
  int64_t file_size_ = 0;
  int64_t position_ = 0;
  int error_ = 0;
  // Room for a span taken in place, then the piece.
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;              // next byte of the buffer to take
  size_t len_ = 0;              // end of its bytes
  int64_t next_offset_ = 0;     // file offset of the next piece
  int64_t asked_until_ = 0;     // the kernel has been asked for the file up to here
  bool ended_ = false;          // no piece after the one in the buffer
  std::vector<uint8_t> large_;  // a span larger than kTakeInPlaceBytes
};

// The processors this process may run on (1 when that cannot be learnt).
int UsableProcessors();
