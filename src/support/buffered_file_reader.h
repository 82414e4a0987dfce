// bufferedfilereaderclass: one file read front to back in large blocks, its
// bytes handed out as views of the size the caller asks for, each in one
// piece of memory where the bytes lie in the reader's buffer (a record that
// lies whole in the buffer is used in place, not copied).
//
// Reading small records field by field straight from the file would cost
// several system calls per record; the reader makes one per block instead
// (256 KiB unless told otherwise), and the block stays in the processor's
// cache while its records are used. The kernel is told at open that the
// file is read sequentially.
//
// Once the reading goes straight on (two whole blocks in a row) and the
// views are no larger than a block, a thread of the reader's own reads the
// next piece (4 MiB) into a second buffer while the caller works on the
// first, so the kernel's copy of the file costs the caller no time of its
// own. Each piece lies behind room for one block: the unused start of a
// view that straddles two pieces is put there, so every view lies in one
// piece. Any other use of the file (a seek, a copying read, closing) stops
// the thread first. Where this process may run on one processor only, no
// thread is started (the two would take turns).
//
// A file that is not in the page cache arrives no faster than the disk is
// kept busy: with one read at a time the disk idles between the reads, and
// the kernel's own read-ahead does not always fill that gap. So the disk
// is asked ahead of time (posix_fadvise WILLNEED) for the bytes up to a
// window past what was read; the advice costs page cache, not memory of
// this process.
//
// The first failed read ends the data as the end of the file would (a
// later read that happened to succeed would hide the loss) until the next
// seek; ReadError keeps its error number. Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/platform_file.h"
#include "support/read_ahead_thread.h"

// How a reader reads; the defaults are those of a long pass over a file
// whose records are small beside a block.
struct bufferedreadersettingsstruct {
  // Bytes one refill reads (the buffer's usual size, never more than the
  // file holds). A view longer than this grows the buffer to hold it.
  size_t block_bytes = 256u << 10;
  // Bytes the read-ahead thread reads at a time: each hand-over between
  // the two threads costs some tens of microseconds (the idle thread must
  // be woken), which pieces this large make negligible; 256 KiB pieces
  // were slower than reading without the thread. 0: never a thread.
  size_t thread_piece_bytes = 4u << 20;
  // How far past what was read the disk is asked to read ahead. In a
  // 1 GiB pass from a cold cache the kernel's read-ahead alone took 0.75
  // to 3.6 s from run to run; with 32 MiB asked for, 0.8 to 1.5 s in every
  // run (the advice costs about 0.2 s of system time per GiB, on the
  // thread when there is one). 0: no advice.
  int64_t advise_ahead_bytes = 32 << 20;
};

class bufferedfilereaderclass {
 public:
  explicit bufferedfilereaderclass(const bufferedreadersettingsstruct& settings = {});
  ~bufferedfilereaderclass();
  bufferedfilereaderclass(const bufferedfilereaderclass&) = delete;
  bufferedfilereaderclass& operator=(const bufferedfilereaderclass&) = delete;

  // Opens an existing file for reading from its first byte (an open reader
  // is closed first). False when it cannot be opened: File().LastError()
  // then holds the error number.
  bool Open(const std::string& path);
  // Stops the thread, lets go of the buffers and closes the file. False
  // when the close reported an error (File().LastError()).
  bool Close();
  bool IsOpen() const { return file_.IsOpen(); }
  // The open file, for what the reader does not do (fstat, its name).
  const PlatformFile& File() const { return file_; }
  // The size of the file when it was opened (-1 when it cannot be read).
  int64_t SizeAtOpen() const { return file_size_; }

  // File offset of the next byte a view or a read delivers.
  int64_t Position() const { return position_; }
  // Goes on at `offset`: what was read ahead is dropped, and a failed read
  // or the end of the file no longer ends the data. False when the file
  // cannot seek there; the reader is then as it was.
  bool Seek(int64_t offset);

  // The next `n` bytes from Position, in one piece; `got` of them (fewer
  // than `n` only at the end of the file or after a failed read). Nothing
  // counts as read until Consume. The view stays valid until the next
  // View, Read, Seek or Close. Any alignment.
  const uint8_t* View(size_t n, size_t& got);
  // The bytes already read ahead at Position (what a View of them would
  // give without reading the file); 0 when none are.
  size_t Buffered() const { return len_ - pos_; }
  // Counts `n` of the bytes the last View delivered as read.
  void Consume(size_t n);
  // Copies the next `n` bytes into `into` and counts them as read; returns
  // how many arrived (fewer only at the end of the file or after a failed
  // read). A read as large as a block goes straight into `into`.
  int64_t Read(void* into, int64_t n);

  // The error number of the first failed read since Open (0: none).
  int ReadError() const { return read_error_; }
  // Whether the read-ahead thread is reading (for tests and benchmarks).
  bool ThreadRunning() const { return thread_.Running(); }

 private:
  uint8_t* Data() { return buffers_[current_].data(); }
  // Makes the buffer hold `wanted` bytes from Position in one piece (fewer
  // at the end of the file or after a failed read); returns the bytes held.
  size_t Fill(size_t wanted);
  // Gives the current buffer room for `least` bytes and at least a block,
  // but no more than the file holds.
  void SizeBuffer(size_t least);
  // One read of `size` bytes at `into`; a short one ends the data (the end
  // of the file, or a failed read, which is recorded). Returns the bytes.
  int64_t ReadFile(uint8_t* into, int64_t size);
  // Asks the disk for the window past `end` (the file offset just read)
  // once the reading has come within half a window of what was asked.
  void AdviseAhead(int64_t end);
  // The thread: started when the reading goes straight on with views of up
  // to `view_bytes`, asked for the piece after the one in use, waited for
  // when the buffered bytes run short, stopped before any other use of the
  // file (which then goes on after the bytes buffered).
  void StartThread(size_t view_bytes);
  void RequestPiece();
  void TakePiece();
  void StopThread();

  bufferedreadersettingsstruct settings_;
  PlatformFile file_;
  int64_t file_size_ = -1;
  int64_t position_ = 0;  // file offset of buffer byte pos_
  int read_error_ = 0;
  bool ended_ = false;    // a short read: no more data until a seek
  // The blocks are taken from the current buffer while the thread fills
  // the other one.
  std::vector<uint8_t> buffers_[2];
  int current_ = 0;
  size_t pos_ = 0;  // next byte of the current buffer to hand out
  size_t len_ = 0;  // end of its bytes
  int whole_refills_ = 0;      // whole blocks read in a row since the thread last stopped
  int64_t advised_until_ = 0;  // the disk has been asked for the file up to here
  size_t headroom_ = 0;        // room for a view's start before each piece
  int64_t thread_offset_ = 0;  // file offset of the thread's next piece
  // Last, so that it stops before the file and the buffers go.
  readaheadthreadclass thread_;
};
