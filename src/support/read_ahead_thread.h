// readaheadthreadclass: a thread that reads a file straight ahead, one piece
// at a time, into a buffer it is handed. While it reads the next piece (the
// kernel copies the bytes on the thread's processor), the caller works on
// the piece before: a pass over a large file then costs little more than
// the longer of the two.
//
// One request at a time, in file order: Request starts the read of the next
// `bytes` at the file's offset into `into`, Wait returns how many arrived
// (fewer at the end of the file or after a read error; the file's
// LastError tells which once Wait has returned). Between Start and Stop the
// file belongs to the thread: the caller neither reads, seeks nor closes
// it, and leaves the buffer of a request alone until Wait returns.
//
// A file that is not in the page cache arrives no faster than the disk is
// kept busy: with one read at a time, the disk idles while the caller
// works and the thread waits for its next request, and the kernel's own
// read-ahead does not always fill that gap. So, when asked to, after each
// whole read the thread tells the system to start fetching the bytes up to
// a window ahead of it (posix_fadvise WILLNEED: the disk reads them into
// the page cache, nobody waits), and the reads that follow find them there.
// The window costs page cache, not memory of this process.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "support/platform_file.h"

// The processors this process may run on (1 when that cannot be learnt).
int UsableProcessors();

class readaheadthreadclass {
 public:
  readaheadthreadclass() = default;
  ~readaheadthreadclass() { Stop(); }
  readaheadthreadclass(const readaheadthreadclass&) = delete;
  readaheadthreadclass& operator=(const readaheadthreadclass&) = delete;

  // Starts the thread, idle, for `file` (open for reading). False when no
  // thread can be started, or when this process may run on one processor
  // only (the two threads would then take turns, and the hand-overs cost
  // more than they save): the caller then reads the file itself.
  // With `advise_ahead` > 0, the bytes up to that far past each whole read
  // are asked of the disk ahead of time (see above).
  bool Start(PlatformFile& file, int64_t advise_ahead = 0);
  bool Running() const { return thread_.joinable(); }
  // Hands the thread its next read. Only while running and no request waits.
  void Request(uint8_t* into, int64_t bytes);
  // Whether a request was made that Wait has not yet returned.
  bool Pending() const { return pending_; }
  // Waits for the request and returns the bytes read into its buffer.
  int64_t Wait();
  // Lets a read in progress finish, then ends the thread. The file's offset
  // is then wherever the reads left it.
  void Stop();

 private:
  void Run();
  // On the thread, after a read of `asked` bytes delivered `got`.
  void AdviseAhead(int64_t got, int64_t asked);

  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  PlatformFile* file_ = nullptr;
  // Used by the thread only (set before it starts): the file offset its
  // next read starts at, the window, and the end of what was advised.
  int64_t offset_ = 0;
  int64_t advise_ahead_ = 0;
  int64_t advised_end_ = 0;
  // The request, guarded by lock_.
  uint8_t* into_ = nullptr;
  int64_t bytes_ = 0;
  int64_t got_ = 0;
  bool requested_ = false;  // a read waits for the thread
  bool done_ = false;       // the thread has read it
  bool stopping_ = false;
  bool pending_ = false;    // the caller's view: Request made, Wait not yet
};
