// packetbatchwriterclass: waiting packets, the gathering packet behind them,
// and one write call per batch.
#include "ch10/packet_batch_writer.h"

#include <cerrno>
#include <cstring>

#include "support/error_log.h"

packetbatchwriterclass::packetbatchwriterclass(const std::string& file_name, size_t batch_bytes,
                                               size_t max_packets, size_t room_behind)
    : file_name_(file_name),
      batch_bytes_(batch_bytes),
      buffer_(batch_bytes + room_behind, 0),
      packet_ends_(max_packets) {
  assert(max_packets > 0);
}

bool packetbatchwriterclass::Create(const std::string& file_name) {
  assert(waiting_ == 0 || !file_.IsOpen());
  file_.Close();
  file_name_ = file_name;
  if (!file_.CreateNew(file_name)) {
    ReportFailure("Unable to create Ch10 file ", file_.LastError());
    return false;
  }
  file_.SetWriteBehind(kWriteBehindBytes);
  return true;
}

void packetbatchwriterclass::ReportFailure(const std::string& what, int error_number) {
  if (error_number == 0) error_number = EIO;
  if (error_ != 0) return;  // the first failure is the one that counts
  error_ = error_number;
  LogError(what + file_name_ + " : " + SystemErrorText(error_number), error_number, true);
}

uint8_t* packetbatchwriterclass::Place(size_t packet_bytes) {
  // After a failed write the file is incomplete; further packets would only
  // add to a broken file.
  if (error_ != 0) return nullptr;
  if (!file_.IsOpen()) {
    ReportFailure("Unable to write Ch10 file ", EBADF);
    return nullptr;
  }
  const size_t room = GatheringRoom();
  if (used_ + packet_bytes + room > buffer_.size()) buffer_.resize(used_ + packet_bytes + room, 0);
  assert(used_ + packet_bytes + room <= buffer_.size());
  uint8_t* place = buffer_.data() + used_;
  if (gathered_ > 0) {
    // The gathering packet follows the new one in the file.
    std::memmove(place + packet_bytes + gather_offset_, place + gather_offset_, gathered_);
  }
  return place;
}

size_t packetbatchwriterclass::WriteWaiting() {
  if (waiting_ == 0) return 0;
  const size_t waiting = waiting_;
  const int64_t wanted = static_cast<int64_t>(used_);
  const int64_t written = error_ == 0 ? file_.Write(buffer_.data(), wanted) : 0;
  size_t whole = waiting;
  if (written == wanted) {
    // The gathering packet moves to the front with the rest.
    if (gathered_ > 0) {
      uint8_t* front = buffer_.data();
      std::memmove(front + gather_offset_, front + used_ + gather_offset_, gathered_);
    }
  } else {
    whole = 0;
    while (whole < waiting && packet_ends_[whole] <= static_cast<size_t>(written)) ++whole;
    const int error_number = file_.LastError();
    ReportFailure("Unable to write Ch10 file ", error_number != 0 ? error_number : EIO);
  }
  used_ = 0;
  waiting_ = 0;
  return whole;
}

void packetbatchwriterclass::Close() {
  if (!file_.IsOpen()) return;
  WriteWaiting();
  const bool flushed = file_.Flush();
  const int flush_error = file_.LastError();
  if (!file_.Close()) {
    ReportFailure("Unable to close Ch10 file ", file_.LastError());
  } else if (!flushed) {
    ReportFailure("Unable to flush Ch10 file ", flush_error);
  }
}
