// ch10convertprocessclass: turns the packed stream into the Chapter 10 file.
//
// The file holds one TMATS setup packet (channel 0), one time packet
// (channel 1), then PCM packets (channel 2) in throughput mode with a time
// packet about once per second of archive time. Every packet is assembled in
// one reusable buffer (header copy at bytes 0-23, body from byte 24, trailer
// after the body) and written with one call. The stream's bytes are copied
// once, straight to their place in that buffer, so memory stays the same
// whatever the archive's size: at most one packet waits.
#include "ch10/ch10_converter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "archive/ark_header.h"
#include "ch10/ch10_packet.h"
#include "ch10/time_packet.h"
#include "ch10/tmats_builder.h"
#include "support/error_log.h"
#include "support/time_keeping.h"

namespace {

constexpr size_t kPacketBufferBytes = 1048576;
constexpr uint32_t kPcmChannelWord = 0x00100000;  // throughput mode, 16-bit alignment
// About a tenth of a second of data per PCM packet, at most 131,072 words;
// at least 4 words so that even a very slow stream moves on.
constexpr double kMaxPacketHalfWords = 65536.0;
constexpr int32_t kMinWordsPerPacket = 4;
// Room after a body for the largest trailer (3 filler bytes, 2-byte checksum).
constexpr size_t kMaxTrailerBytes = 5;
// A time packet follows the PCM packet that brings the archive time this far
// past the previous time packet (compared on the sums as accumulated).
constexpr double kTimePacketSpacing = 0.9;
// The PCM data starts after the header and the channel-specific word.
constexpr size_t kPcmDataOffset = kCh10HeaderBytes + 4;

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

ch10convertprocessclass::ch10convertprocessclass(const std::string& ch10_file_name,
                                                 const arkheaderstruct& setup)
    : setup_(setup), ch10_file_name_(ch10_file_name), packet_buffer_(kPacketBufferBytes, 0) {}

ch10convertprocessclass::~ch10convertprocessclass() {
  tmats_lines_.clear();
  CloseCh10File();
}

bool ch10convertprocessclass::Start() {
  CreateCh10File(ch10_file_name_);
  WriteTmatsPacket();
  SetUpTiming();
  WriteTimePacket(leap_year_, relative_seconds_, current_archive_time_);
  return !OutputFailed();
}

bool ch10convertprocessclass::CreateCh10File(const std::string& ch10_file_name) {
  ch10_file_.Close();
  ch10_file_name_ = ch10_file_name;
  if (!ch10_file_.CreateWrite(ch10_file_name)) {
    ReportOutputFailure("Unable to create Ch10 file ", ch10_file_.LastError());
    return false;
  }
  return true;
}

void ch10convertprocessclass::ReportOutputFailure(const std::string& what, int error_number) {
  if (error_number == 0) error_number = EIO;
  if (output_error_ != 0) return;  // the first failure is the one that counts
  output_error_ = error_number;
  LogError(what + ch10_file_name_ + " : " + SystemErrorText(error_number), error_number, true);
}

void ch10convertprocessclass::ReservePacketBuffer(size_t bytes) {
  if (packet_buffer_.size() < bytes) packet_buffer_.resize(bytes, 0);
}

void ch10convertprocessclass::FrameAndWritePacket(uint16_t channel_id, uint8_t data_type,
                                                  uint8_t& sequence,
                                                  uint64_t relative_time_counter,
                                                  uint32_t data_length) {
  ReservePacketBuffer(kCh10HeaderBytes + data_length + kMaxTrailerBytes);
  uint8_t* body = packet_buffer_.data() + kCh10HeaderBytes;
  const ch10trailerstruct trailer = FillDataChecksum(body, data_length);
  const uint32_t packet_length = kCh10HeaderBytes + data_length + trailer.TrailerLength;

  ch10headerstruct header;
  BuildCh10Header(header, channel_id, packet_length, relative_time_counter, data_type,
                  kCh10PacketFlags, sequence, data_length);
  std::memcpy(packet_buffer_.data(), header.Bytes, kCh10HeaderBytes);
  PlaceTrailer(body + data_length, trailer);

  // After a failed write the file is incomplete; the driver ends the run, and
  // further packets would only add to a broken file. Header copy, body and
  // trailer lie back to back in the buffer: one write for the whole packet.
  if (output_error_ == 0) {
    const int error_number =
        WriteAssembledCh10Packet(ch10_file_, packet_buffer_.data(), packet_length);
    if (error_number != 0) ReportOutputFailure("Unable to write Ch10 file ", error_number);
  }
  ++sequence;  // uint8_t: 255 wraps to 0
}

void ch10convertprocessclass::WriteTmatsPacket() {
  tmats_lines_.clear();
  BuildTmatsText(tmats_lines_, setup_);
  // PackTmatsBody grows the buffer for a text larger than 1 MiB.
  const size_t body_length = PackTmatsBody(packet_buffer_, kCh10HeaderBytes, tmats_lines_);
  FrameAndWritePacket(kTmatsChannelId, kTmatsDataType, tmats_sequence_, 0,
                      static_cast<uint32_t>(body_length));
}

void ch10convertprocessclass::SetUpTiming() {
  counter_wrap_period_ = (SafePow(2.0, 48.0) - 1.0) * 1e-7;
  bit_rate_ = static_cast<double>(setup_.BitsPerMinorFrame) * setup_.MinorFrameRate;

  double half_words = bit_rate_ * 0.1 * 0.0625 * 0.5;  // bit rate / 320
  if (!(half_words > 0.0)) half_words = 0.0;
  if (half_words > kMaxPacketHalfWords) half_words = kMaxPacketHalfWords;
  int64_t n = FloorToInt(half_words);
  if (n > 0 && (n % 2) != 0) n -= 1;
  words_per_packet_ = static_cast<int32_t>(2 * n);
  if (words_per_packet_ < kMinWordsPerPacket) words_per_packet_ = kMinWordsPerPacket;

  // A stream without a usable bit rate has no duration per packet; the
  // packets still carry the stream, so nothing is lost.
  const bool rate_usable = bit_rate_ > 0.0 && std::isfinite(bit_rate_);
  packet_duration_ = rate_usable ? 1.0 / (bit_rate_ / (words_per_packet_ * 16.0)) : 0.0;

  relative_seconds_ = 0.0;
  current_archive_time_ = ch10_start_time_ = ch10_stop_time_ = setup_.StartTime;
  // The first time packet goes out at the start time (Start writes it).
  last_time_packet_time_ = current_archive_time_;
  leap_year_ = IsLeapYear(setup_.ArchiveYear) ? 1 : 0;
  pcm_packet_count_ = 0;
  time_packet_count_ = 1;  // the first time packet, written next
  packed_bytes_accepted_ = 0;
  full_packet_bytes_ = static_cast<size_t>(words_per_packet_ / 2) * 4;  // whole 4-byte units
  pending_bytes_ = 0;
  ReservePacketBuffer(kPcmDataOffset + full_packet_bytes_ + kMaxTrailerBytes);
}

void ch10convertprocessclass::WriteTimePacket(uint8_t leap_year, double relative_seconds,
                                              double archive_time) {
  const uint32_t body_length = BuildTimePacketBody(packet_buffer_.data() + kCh10HeaderBytes,
                                                   leap_year != 0, archive_time);
  FrameAndWritePacket(kTimeChannelId, kTimeDataType, time_sequence_,
                      SecondsToRtc(relative_seconds), body_length);
}

bool ch10convertprocessclass::AcceptPackedBytes(const uint8_t* bytes, size_t count) {
  // Before the timing is set up there is no packet size to fill.
  if (full_packet_bytes_ == 0) return false;
  while (count > 0 && output_error_ == 0) {
    if (pending_bytes_ == 0 && count >= full_packet_bytes_) {
      // A whole packet in the piece handed over: no need to gather it.
      WriteFullPcmPacketFrom(bytes);
      packed_bytes_accepted_ += static_cast<int64_t>(full_packet_bytes_);
      bytes += full_packet_bytes_;
      count -= full_packet_bytes_;
      continue;
    }
    const size_t n = std::min(count, full_packet_bytes_ - pending_bytes_);
    std::memcpy(packet_buffer_.data() + kPcmDataOffset + pending_bytes_, bytes, n);
    pending_bytes_ += n;
    packed_bytes_accepted_ += static_cast<int64_t>(n);
    bytes += n;
    count -= n;
    if (pending_bytes_ == full_packet_bytes_) WritePcmPacket(full_packet_bytes_);
  }
  return output_error_ == 0;
}

void ch10convertprocessclass::Finish() {
  if (pending_bytes_ > 0 && output_error_ == 0) {
    // The stream may end inside a 4-byte unit: its missing bytes are zero.
    const size_t data_bytes = (pending_bytes_ + 3) & ~static_cast<size_t>(3);
    std::memset(packet_buffer_.data() + kPcmDataOffset + pending_bytes_, 0,
                data_bytes - pending_bytes_);
    WritePcmPacket(data_bytes);
  }
  pending_bytes_ = 0;
  ch10_stop_time_ = current_archive_time_;
  CloseCh10File();
}

void ch10convertprocessclass::WritePcmPacket(size_t data_bytes) {
  pending_bytes_ = 0;
  PutLe32(packet_buffer_.data() + kCh10HeaderBytes, kPcmChannelWord);
  FrameAndWritePacket(kPcmChannelId, kPcmDataType, pcm_sequence_,
                      SecondsToRtc(relative_seconds_), static_cast<uint32_t>(4 + data_bytes));
  if (output_error_ != 0) return;  // a packet that did not reach the file is not counted
  AdvancePastPcmPacket(data_bytes);
}

void ch10convertprocessclass::WriteFullPcmPacketFrom(const uint8_t* data) {
  const uint32_t data_length = static_cast<uint32_t>(4 + full_packet_bytes_);
  uint8_t head[kPcmDataOffset];
  PutLe32(head + kCh10HeaderBytes, kPcmChannelWord);
  // Channel word and data are both of even length: their sums add up.
  const uint16_t checksum = static_cast<uint16_t>(Ch10Checksum16(head + kCh10HeaderBytes, 4) +
                                                  Ch10Checksum16(data, full_packet_bytes_));
  const ch10trailerstruct trailer = TrailerForChecksum(checksum, data_length);
  const uint32_t packet_length = kCh10HeaderBytes + data_length + trailer.TrailerLength;
  ch10headerstruct header;
  BuildCh10Header(header, kPcmChannelId, packet_length, SecondsToRtc(relative_seconds_),
                  kPcmDataType, kCh10PacketFlags, pcm_sequence_, data_length);
  std::memcpy(head, header.Bytes, kCh10HeaderBytes);
  uint8_t tail[kMaxTrailerBytes];
  PlaceTrailer(tail, trailer);

  if (output_error_ == 0) {
    const PlatformFile::piece pieces[3] = {
        {head, static_cast<int64_t>(kPcmDataOffset)},
        {data, static_cast<int64_t>(full_packet_bytes_)},
        {tail, static_cast<int64_t>(trailer.TrailerLength)}};
    if (ch10_file_.WritePieces(pieces, 3) != packet_length) {
      const int error_number = ch10_file_.LastError();
      ReportOutputFailure("Unable to write Ch10 file ", error_number != 0 ? error_number : EIO);
    }
  }
  ++pcm_sequence_;  // uint8_t: 255 wraps to 0
  if (output_error_ != 0) return;  // a packet that did not reach the file is not counted
  AdvancePastPcmPacket(full_packet_bytes_);
}

void ch10convertprocessclass::AdvancePastPcmPacket(size_t data_bytes) {
  // A full packet lasts the packet duration; the short last packet only as
  // long as its data (the same expression, so a full packet's duration is
  // bit for bit the packet duration).
  double duration = packet_duration_;
  if (data_bytes != full_packet_bytes_) {
    const bool rate_usable = bit_rate_ > 0.0 && std::isfinite(bit_rate_);
    duration = rate_usable ? 1.0 / (bit_rate_ / (static_cast<double>(data_bytes) * 8.0)) : 0.0;
  }
  current_archive_time_ += duration;
  relative_seconds_ += duration;
  if (relative_seconds_ > counter_wrap_period_) relative_seconds_ -= counter_wrap_period_;
  if (current_archive_time_ - last_time_packet_time_ >= kTimePacketSpacing) {
    WriteTimePacket(leap_year_, relative_seconds_, current_archive_time_);
    time_packet_count_ += 1;
    last_time_packet_time_ = current_archive_time_;
  }
  pcm_packet_count_ += 1;
}

void ch10convertprocessclass::CloseCh10File() {
  if (!ch10_file_.IsOpen()) return;
  const bool flushed = ch10_file_.Flush();
  const int flush_error = ch10_file_.LastError();
  if (!ch10_file_.Close()) {
    ReportOutputFailure("Unable to close Ch10 file ", ch10_file_.LastError());
  } else if (!flushed) {
    ReportOutputFailure("Unable to flush Ch10 file ", flush_error);
  }
}
