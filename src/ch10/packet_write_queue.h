// The Chapter 10 file's writer thread: packets are assembled by the
// converter in one of a few slot buffers and written, in order, one write
// call each, by a thread of their own, so that the file's writes overlap the
// reading and packing of the next data. Memory stays at a few packets: when
// every slot waits to be written, the converter waits for the first.
//
// After the first failed write nothing more is written; the converter learns
// of it from Error() and reports it itself. Only the converter's thread
// calls the methods below.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class PlatformFile;

class ch10packetqueueclass {
 public:
  // The file to write to is the caller's and outlives the queue.
  explicit ch10packetqueueclass(PlatformFile& file);
  ~ch10packetqueueclass();
  ch10packetqueueclass(const ch10packetqueueclass&) = delete;
  ch10packetqueueclass& operator=(const ch10packetqueueclass&) = delete;

  // The buffer to assemble the next packet in, holding at least `bytes`
  // bytes; waits while every other slot is still to be written. The same
  // buffer is returned until Submit hands it over.
  std::vector<uint8_t>& NextBuffer(size_t bytes);
  // Queues the packet of `length` bytes assembled in that buffer. The
  // channel and the archive time reached after it are counted once it is
  // written.
  void Submit(uint32_t length, uint16_t channel, double archive_time_after);
  // Waits until every queued packet is written (or skipped after a failure).
  void Drain();
  // Forgets an earlier failure and the written counts (for a new file);
  // `archive_time` is the time reached before any packet.
  void Reset(double archive_time);

  // The error number of the first failed write, 0 when none failed.
  int Error();
  // After Drain: packets of a channel (0 to 2) that reached the file, and
  // the archive time after the last of them.
  int64_t Written(uint16_t channel);
  double WrittenArchiveTime();

 private:
  static constexpr int kSlots = 8;
  struct slot {
    std::vector<uint8_t> bytes;
    uint32_t length = 0;
    uint16_t channel = 0;
    double archive_time_after = 0.0;
  };

  void WriterLoop();

  PlatformFile& file_;
  slot slots_[kSlots];
  std::mutex lock_;
  std::condition_variable work_ready_;   // a packet was queued, or stop
  std::condition_variable slot_freed_;   // a packet was written
  int first_queued_ = 0;                 // the next slot to write
  int queued_ = 0;                       // slots queued or being written
  bool stop_ = false;
  int error_ = 0;
  int64_t written_[3] = {0, 0, 0};
  double written_archive_time_ = 0.0;
  std::thread writer_;                   // started last, after every field
};
