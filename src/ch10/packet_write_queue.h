// The Chapter 10 file's writer thread: packets are assembled by the
// converter in slot buffers and written, in order, one write call each, by a
// thread of their own, so that the file's writes overlap the reading and
// packing of the next data. The ring holds about 2 MiB of packets (4 to 64
// of them): when it is full, the converter waits. The threads wake each
// other once per half ring, not per packet, since on a busy machine every
// wake costs a wait for the processor.
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
  // Sizes the ring for packets of about `bytes` bytes (after a Drain).
  void SetPacketBytes(size_t bytes);

  // The error number of the first failed write, 0 when none failed.
  int Error();
  // After Drain: packets of a channel (0 to 2) that reached the file, and
  // the archive time after the last of them.
  int64_t Written(uint16_t channel);
  double WrittenArchiveTime();

 private:
  static constexpr int kMaxSlots = 64;
  static constexpr int kMinSlots = 4;
  static constexpr size_t kRingBytes = size_t{2} << 20;
  struct slot {
    std::vector<uint8_t> bytes;
    uint32_t length = 0;
    uint16_t channel = 0;
    double archive_time_after = 0.0;
  };

  void WriterLoop();

  PlatformFile& file_;
  slot slots_[kMaxSlots];
  int depth_ = kMinSlots;                // slots in use
  int wake_batch_ = kMinSlots / 2;       // half of them
  std::mutex lock_;
  std::condition_variable work_ready_;   // half the ring queued, a drain, or stop
  std::condition_variable slot_freed_;   // half the ring written, or all of it
  int first_queued_ = 0;                 // the next slot to write
  int queued_ = 0;                       // slots queued or being written
  bool stop_ = false;
  bool draining_ = false;                // Drain waits: write what is queued
  int error_ = 0;
  int64_t written_[3] = {0, 0, 0};
  double written_archive_time_ = 0.0;
  std::thread writer_;                   // started last, after every field
};
