// packetbatchwriterclass: the Chapter 10 file's output side. Packets are
// framed by the caller in place, back to back, in one output buffer, and
// the buffer goes to the file with one write call per batch (a quarter
// megabyte, or a bounded number of packets): one system call for many
// packets, and no copy between framing and writing.
//
// Behind the waiting packets one packet may gather piece by piece (the PCM
// packet filling from the stream). Its bytes are kept while packets are
// placed before it, and it moves to the front when the batch goes out, so
// the stream's bytes are copied once, straight to where they are written
// from.
//
// A failed or short write tells the caller how many of the waiting packets
// wholly reached the file, so that the caller can take its own values back
// to the last of them: a packet cut short counts as not written. The first
// failure is reported (LogError, code = the error number) and nothing is
// written after it.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/platform_file.h"

class packetbatchwriterclass {
 public:
  // A batch goes out once its packets hold batch_bytes, or max_packets of
  // them wait. The buffer holds batch_bytes and room_behind more: enough for
  // any packet placed below batch_bytes with the gathering packet behind it.
  // A packet that does not fit grows the buffer (see Fits). file_name is
  // the name failures report until Create names another.
  packetbatchwriterclass(const std::string& file_name, size_t batch_bytes, size_t max_packets,
                         size_t room_behind);
  ~packetbatchwriterclass() { Close(); }
  packetbatchwriterclass(const packetbatchwriterclass&) = delete;
  packetbatchwriterclass& operator=(const packetbatchwriterclass&) = delete;

  // Creates the file, which must not exist yet: nothing is ever truncated
  // or written through a link. A file still open is let go first, without
  // a flush; its waiting packets must have been written (WriteWaiting).
  bool Create(const std::string& file_name);
  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& FileName() const { return file_name_; }

  // True once a create, write, flush or close failed or a write came up
  // short; Error() is the error number of the first failure.
  bool Failed() const { return error_ != 0; }
  int Error() const { return error_; }

  // Whether a packet of packet_bytes fits behind the waiting packets (with
  // room for the gathering packet behind it). When it does not, the waiting
  // packets should be written first; Place then grows the buffer.
  bool Fits(size_t packet_bytes) const {
    return used_ + packet_bytes + GatheringRoom() <= buffer_.size();
  }
  // Where the next packet of up to packet_bytes goes: right after the
  // waiting packets. The gathering packet moves up behind it. Null, with
  // the failure reported, when nothing can be written any more (after a
  // failure, or with no file open).
  uint8_t* Place(size_t packet_bytes);
  // The packet framed at the place is packet_bytes long and now waits with
  // the others, as the last of them.
  void Append(size_t packet_bytes) {
    assert(waiting_ < packet_ends_.size());
    assert(used_ + packet_bytes <= buffer_.size());
    used_ += packet_bytes;
    packet_ends_[waiting_++] = used_;
  }
  size_t WaitingPackets() const { return waiting_; }
  // True when the waiting packets are a whole batch: time to write them.
  bool BatchDue() const { return used_ >= batch_bytes_ || waiting_ == packet_ends_.size(); }
  // Writes the waiting packets with one call and returns how many of them,
  // in order, wholly reached the file: all of them, or after a failed or
  // short write (reported) those before the first that did not. Either way
  // none waits afterwards.
  size_t WriteWaiting();
  // Writes what still waits, makes the file durable and closes it. Nothing
  // when no file is open.
  void Close();

  // The gathering packet: its data starts data_offset bytes in (its header
  // goes in front once it is complete), and with its framing it takes at
  // most room bytes. Starts empty.
  void SetGatherLayout(size_t data_offset, size_t room) {
    gather_offset_ = data_offset;
    gather_room_ = room;
    gathered_ = 0;
  }
  // Data bytes gathered so far.
  size_t Gathered() const { return gathered_; }
  // Where the next n gathered bytes go; valid until the next Place or
  // WriteWaiting. They count once AddGathered says so.
  uint8_t* GatherPlace(size_t n) {
    assert(gather_offset_ + gathered_ + n <= gather_room_);
    assert(used_ + gather_offset_ + gathered_ + n <= buffer_.size());
    (void)n;
    return buffer_.data() + used_ + gather_offset_ + gathered_;
  }
  void AddGathered(size_t n) { gathered_ += n; }
  // The gathering packet is complete: it lies where Place puts the next
  // packet, its data already in place, and is framed there.
  void EndGathering() { gathered_ = 0; }

 private:
  size_t GatheringRoom() const { return gathered_ > 0 ? gather_room_ : 0; }
  void ReportFailure(const std::string& what, int error_number);

  std::string file_name_;
  PlatformFile file_;
  int error_ = 0;
  const size_t batch_bytes_;
  std::vector<uint8_t> buffer_;      // allocated once (a very large packet grows it)
  size_t used_ = 0;                  // bytes of the waiting packets
  std::vector<size_t> packet_ends_;  // where each waiting packet ends; fixed size
  size_t waiting_ = 0;
  size_t gather_offset_ = 0;
  size_t gather_room_ = 0;
  size_t gathered_ = 0;
};
