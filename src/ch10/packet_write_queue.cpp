// The Chapter 10 file's writer thread and its ring of packet slots.
#include "ch10/packet_write_queue.h"

#include <algorithm>
#include <cerrno>

#include "support/platform_file.h"

ch10packetqueueclass::ch10packetqueueclass(PlatformFile& file)
    : file_(file), writer_([this] { WriterLoop(); }) {}

ch10packetqueueclass::~ch10packetqueueclass() {
  Drain();
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  work_ready_.notify_one();
  writer_.join();
}

std::vector<uint8_t>& ch10packetqueueclass::NextBuffer(size_t bytes) {
  std::unique_lock<std::mutex> guard(lock_);
  slot_freed_.wait(guard, [this] { return queued_ < depth_; });
  slot& next = slots_[(first_queued_ + queued_) % depth_];
  guard.unlock();
  // The slot is the caller's until Submit: the writer never touches it.
  if (next.bytes.size() < bytes) next.bytes.resize(bytes, 0);
  return next.bytes;
}

void ch10packetqueueclass::Submit(uint32_t length, uint16_t channel, double archive_time_after) {
  bool wake = false;
  {
    std::unique_lock<std::mutex> guard(lock_);
    slot_freed_.wait(guard, [this] { return queued_ < depth_; });
    slot& next = slots_[(first_queued_ + queued_) % depth_];
    next.length = length;
    next.channel = channel;
    next.archive_time_after = archive_time_after;
    ++queued_;
    wake = queued_ >= wake_batch_;
  }
  if (wake) work_ready_.notify_one();
}

void ch10packetqueueclass::Drain() {
  std::unique_lock<std::mutex> guard(lock_);
  draining_ = true;
  work_ready_.notify_one();
  slot_freed_.wait(guard, [this] { return queued_ == 0; });
  draining_ = false;
}

void ch10packetqueueclass::Reset(double archive_time) {
  Drain();
  std::lock_guard<std::mutex> guard(lock_);
  error_ = 0;
  written_[0] = written_[1] = written_[2] = 0;
  written_archive_time_ = archive_time;
}

void ch10packetqueueclass::SetPacketBytes(size_t bytes) {
  Drain();
  std::lock_guard<std::mutex> guard(lock_);
  const size_t fit = bytes > 0 ? kRingBytes / bytes : kMaxSlots;
  depth_ = static_cast<int>(std::clamp<size_t>(fit, kMinSlots, kMaxSlots));
  wake_batch_ = depth_ / 2;
  first_queued_ = 0;
}

int ch10packetqueueclass::Error() {
  std::lock_guard<std::mutex> guard(lock_);
  return error_;
}

int64_t ch10packetqueueclass::Written(uint16_t channel) {
  std::lock_guard<std::mutex> guard(lock_);
  return channel < 3 ? written_[channel] : 0;
}

double ch10packetqueueclass::WrittenArchiveTime() {
  std::lock_guard<std::mutex> guard(lock_);
  return written_archive_time_;
}

void ch10packetqueueclass::WriterLoop() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    work_ready_.wait(guard, [this] {
      return queued_ >= wake_batch_ || (queued_ > 0 && (draining_ || stop_)) || stop_;
    });
    if (queued_ == 0) return;  // stop, with nothing left to write
    slot& packet = slots_[first_queued_];
    const bool write = error_ == 0;
    guard.unlock();

    // The write runs unlocked: the converter meanwhile fills other slots.
    int error_number = 0;
    if (write) {
      const int64_t length = packet.length;
      if (file_.Write(packet.bytes.data(), length) != length) {
        error_number = file_.LastError() != 0 ? file_.LastError() : EIO;
      }
    }

    guard.lock();
    if (write && error_number == 0) {
      if (packet.channel < 3) ++written_[packet.channel];
      written_archive_time_ = packet.archive_time_after;
    } else if (write) {
      error_ = error_number;
    }
    first_queued_ = (first_queued_ + 1) % depth_;
    --queued_;
    if (queued_ <= depth_ - wake_batch_) slot_freed_.notify_one();
  }
}
