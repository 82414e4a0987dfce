// MappedFileReader: sequential reads of an open file that copy from
// read-only memory maps instead of calling read().
//
// A conversion reads the archive and then the pack file once from start to
// end, mostly from the page cache. read() makes the kernel copy every byte
// into the caller's buffer; copying from a mapping of the same cached pages
// saves that copy. The reader maps a window of a few MiB at the read
// position, bounded by the file's size at mapping time, and unmaps it as
// soon as it has been read past, so only one window's pages are resident.
//
// Where a mapping is not possible (a pipe, a /proc file whose size reads as
// 0, a failed mmap, or a read past the size seen so far) the reader reads
// with pread() (read() on a pipe) through a buffer of up to 1 MiB instead,
// so that small reads still cost no system call each.
//
// When the file shrinks after a window was mapped (another process
// truncates it), the copy from the vanished page is caught (guarded_copy.h)
// and the read comes up short with EIO, as a failed read() would.
//
// The reader keeps its own position and never moves the descriptor's
// offset of a seekable file: a caller that also reads the file directly
// tells the reader where to go on with Seek().
#pragma once

#include <cstdint>
#include <vector>

#include "support/platform_file.h"

class MappedFileReader {
 public:
  static constexpr int64_t kDefaultWindowBytes = 4 << 20;

  // window_bytes is rounded up to whole pages; the read buffer of the
  // fallback is the smaller of it and 1 MiB.
  explicit MappedFileReader(int64_t window_bytes = kDefaultWindowBytes);
  ~MappedFileReader();
  MappedFileReader(const MappedFileReader&) = delete;
  MappedFileReader& operator=(const MappedFileReader&) = delete;

  // Starts reading `file` at `offset`. The file must stay open until Stop().
  void Start(const PlatformFile& file, int64_t offset);
  // Lets go of the file: unmaps the window and frees the buffer.
  void Stop();

  // Copies up to n bytes from the position to `into` and moves on by what
  // it delivered: fewer than n only at the end of the file or on a read
  // error (LastError() then holds the error number; 0 at the end).
  int64_t Read(void* into, int64_t n);
  // Moves the position to the absolute offset; a window holding it is kept.
  void Seek(int64_t offset);

  int64_t Position() const { return position_; }
  int LastError() const { return last_error_; }
  // True while the bytes at the position come from a mapped window.
  bool HoldsMapping() const { return map_base_ != nullptr; }

 private:
  // Maps the window that starts at the page holding the position. False
  // when the file cannot be mapped there (the fallback then reads it).
  bool MapWindow();
  // Fills the buffer from the position. False at the end or on an error.
  bool FillBuffer();
  // Reads up to n bytes at the position with pread (read on a pipe),
  // retrying interrupted and partial reads; sets last_error_ on an error.
  int64_t ReadAt(uint8_t* into, int64_t n);
  void DropWindow();

  const int64_t window_bytes_;
  const int64_t buffer_bytes_;
  const PlatformFile* file_ = nullptr;
  int64_t position_ = 0;
  int last_error_ = 0;
  bool map_allowed_ = true;  // cleared once the file proves unmappable
  bool seekable_ = true;     // cleared when pread reports a pipe

  // The bytes at [window_offset_, window_offset_ + window_length_) of the
  // file, either inside the mapping or in the buffer.
  const uint8_t* window_ = nullptr;
  int64_t window_offset_ = 0;
  int64_t window_length_ = 0;
  void* map_base_ = nullptr;  // page-aligned mapping, nullptr when none
  size_t map_length_ = 0;
  std::vector<uint8_t> buffer_;
};
