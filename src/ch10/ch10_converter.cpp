// ch10convertprocessclass: turns the packed stream into the Chapter 10 file.
//
// The file holds one TMATS setup packet (channel 0), one time packet
// (channel 1), then PCM packets (channel 2) in throughput mode with a time
// packet about once per second of archive time. Every packet is framed in
// place in the batched writer's buffer (header, body, trailer back to
// back), which goes to the file with one write call per quarter megabyte.
// The stream's bytes are copied once, straight to their place in that
// buffer, and summed for the data checksum as they are copied, so memory
// stays the same whatever the archive's size.
#include "ch10/ch10_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "archive/ark_header.h"
#include "ch10/ch10_packet.h"
#include "ch10/time_packet.h"
#include "ch10/tmats_builder.h"
#include "support/time_keeping.h"

namespace {

// The waiting packets are written once they hold this many bytes, or this
// many packets (slow streams make packets of a few dozen bytes).
constexpr size_t kOutputWriteBytes = 262144;
constexpr size_t kMaxWaitingPackets = 1024;
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
// Below kOutputWriteBytes of waiting packets there is room for a time
// packet and, behind it, the largest PCM packet; only a very large TMATS
// packet needs more (the buffer then grows once).
constexpr size_t kLargestPcmPacket =
    kPcmDataOffset + static_cast<size_t>(kMaxPacketHalfWords) * 4 + kMaxTrailerBytes;
constexpr size_t kLargestTimePacket = kCh10HeaderBytes + kTimePacketBodyBytes + kMaxTrailerBytes;

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Header, body of data_length bytes and trailer.
size_t PacketLengthFor(size_t data_length) {
  return kCh10HeaderBytes + data_length +
         TrailerForChecksum(0, static_cast<uint32_t>(data_length)).TrailerLength;
}

}  // namespace

ch10convertprocessclass::ch10convertprocessclass(const std::string& ch10_file_name,
                                                 const arkheaderstruct& setup)
    : setup_(setup),
      writer_(ch10_file_name, kOutputWriteBytes, kMaxWaitingPackets,
              kLargestTimePacket + kLargestPcmPacket),
      waiting_progress_(kMaxWaitingPackets) {}

ch10convertprocessclass::~ch10convertprocessclass() {
  tmats_lines_.clear();
  CloseCh10File();  // the waiting packets go out first
}

bool ch10convertprocessclass::Start() {
  CreateCh10File(writer_.FileName());
  WriteTmatsPacket();
  SetUpTiming();
  WriteTimePacket(leap_year_, relative_seconds_, current_archive_time_);
  return !OutputFailed();
}

bool ch10convertprocessclass::CreateCh10File(const std::string& ch10_file_name) {
  // Packets still waiting belong to the file they were framed for.
  if (writer_.IsOpen()) WriteWaitingPackets();
  return writer_.Create(ch10_file_name);
}

uint8_t* ch10convertprocessclass::PlaceForPacket(size_t packet_bytes) {
  // Below kOutputWriteBytes of waiting packets a time or PCM packet always
  // fits, with room for a PCM packet to gather behind it. Only a large
  // TMATS packet does not: it goes out on its own.
  if (!writer_.Fits(packet_bytes)) WriteWaitingPackets();
  return writer_.Place(packet_bytes);
}

void ch10convertprocessclass::FramePacket(uint8_t* packet, uint16_t channel_id, uint8_t data_type,
                                          uint8_t& sequence, uint64_t relative_time_counter,
                                          uint32_t data_length, uint16_t checksum) {
  const ch10trailerstruct trailer = TrailerForChecksum(checksum, data_length);
  const uint32_t packet_length = kCh10HeaderBytes + data_length + trailer.TrailerLength;
  ch10headerstruct header;
  BuildCh10Header(header, channel_id, packet_length, relative_time_counter, data_type,
                  kCh10PacketFlags, sequence, data_length);
  std::memcpy(packet, header.Bytes, kCh10HeaderBytes);
  PlaceTrailer(packet + kCh10HeaderBytes + data_length, trailer);
  writer_.Append(packet_length);
  ++sequence;  // uint8_t: 255 wraps to 0
}

void ch10convertprocessclass::PacketAppended() {
  waiting_progress_[writer_.WaitingPackets() - 1] = CurrentProgress();
  if (writer_.BatchDue()) WriteWaitingPackets();
}

void ch10convertprocessclass::WriteWaitingPackets() {
  const size_t waiting = writer_.WaitingPackets();
  if (waiting == 0) return;
  const size_t whole = writer_.WriteWaiting();
  if (whole > 0) written_progress_ = waiting_progress_[whole - 1];
  // Counters and times go back to the last packet that is whole in the
  // file; a packet cut short or never written is not counted.
  if (whole < waiting) RestoreProgress(written_progress_);
}

ch10convertprocessclass::progressstruct ch10convertprocessclass::CurrentProgress() const {
  progressstruct progress;
  progress.PcmPacketCount = pcm_packet_count_;
  progress.TimePacketCount = time_packet_count_;
  progress.CurrentArchiveTime = current_archive_time_;
  progress.RelativeSeconds = relative_seconds_;
  progress.LastTimePacketTime = last_time_packet_time_;
  return progress;
}

void ch10convertprocessclass::RestoreProgress(const progressstruct& progress) {
  pcm_packet_count_ = progress.PcmPacketCount;
  time_packet_count_ = progress.TimePacketCount;
  current_archive_time_ = progress.CurrentArchiveTime;
  relative_seconds_ = progress.RelativeSeconds;
  last_time_packet_time_ = progress.LastTimePacketTime;
}

void ch10convertprocessclass::WriteTmatsPacket() {
  tmats_lines_.clear();
  BuildTmatsText(tmats_lines_, setup_);
  std::vector<uint8_t> body;
  const size_t body_length = PackTmatsBody(body, 0, tmats_lines_);
  uint8_t* packet = PlaceForPacket(PacketLengthFor(body_length));
  if (packet == nullptr) {
    ++tmats_sequence_;
    return;
  }
  std::memcpy(packet + kCh10HeaderBytes, body.data(), body_length);
  FramePacket(packet, kTmatsChannelId, kTmatsDataType, tmats_sequence_, 0,
              static_cast<uint32_t>(body_length), Ch10Checksum16(body.data(), body_length));
  PacketAppended();
}

void ch10convertprocessclass::SetUpTiming() {
  counter_wrap_period_ = (SafePow(2.0, 48.0) - 1.0) * 1e-7;
  bit_rate_ = HeaderBitRate(setup_);

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
  writer_.SetGatherLayout(kPcmDataOffset, kPcmDataOffset + full_packet_bytes_ + kMaxTrailerBytes);
  pending_checksum_ = 0;
  // Packets framed before the timing (the TMATS packet) carry no progress:
  // should a write fail, the values go back to these.
  written_progress_ = CurrentProgress();
  for (size_t i = 0; i < writer_.WaitingPackets(); ++i) waiting_progress_[i] = written_progress_;
}

void ch10convertprocessclass::WriteTimePacket(uint8_t leap_year, double relative_seconds,
                                              double archive_time) {
  uint8_t* packet = PlaceForPacket(PacketLengthFor(kTimePacketBodyBytes));
  if (packet == nullptr) {
    ++time_sequence_;
    return;
  }
  uint8_t* body = packet + kCh10HeaderBytes;
  const uint32_t body_length = BuildTimePacketBody(body, leap_year != 0, archive_time);
  FramePacket(packet, kTimeChannelId, kTimeDataType, time_sequence_, SecondsToRtc(relative_seconds),
              body_length, Ch10Checksum16(body, body_length));
  PacketAppended();
}

bool ch10convertprocessclass::AcceptPackedBytes(const uint8_t* bytes, size_t count) {
  // Before the timing is set up there is no packet size to fill.
  if (full_packet_bytes_ == 0) return false;
  while (count > 0 && !writer_.Failed()) {
    const size_t pending_bytes = writer_.Gathered();
    if (pending_bytes == 0 && count >= full_packet_bytes_) {
      // A whole packet in the piece handed over: no need to gather it.
      WriteFullPcmPacketFrom(bytes);
      packed_bytes_accepted_ += static_cast<int64_t>(full_packet_bytes_);
      bytes += full_packet_bytes_;
      count -= full_packet_bytes_;
      continue;
    }
    // Gathered in place, behind the waiting packets, and summed as copied.
    const size_t n = std::min(count, full_packet_bytes_ - pending_bytes);
    uint8_t* at = writer_.GatherPlace(n);
    size_t odd = 0;
    if (pending_bytes % 2 != 0) {
      // The high byte of the word the piece before began.
      at[0] = bytes[0];
      pending_checksum_ = static_cast<uint16_t>(pending_checksum_ + (bytes[0] << 8));
      odd = 1;
    }
    pending_checksum_ = static_cast<uint16_t>(
        pending_checksum_ + Ch10CopyAndChecksum16(at + odd, bytes + odd, n - odd));
    writer_.AddGathered(n);
    packed_bytes_accepted_ += static_cast<int64_t>(n);
    bytes += n;
    count -= n;
    if (pending_bytes + n == full_packet_bytes_) WritePcmPacket(full_packet_bytes_);
  }
  return !writer_.Failed();
}

void ch10convertprocessclass::Finish() {
  const size_t pending_bytes = writer_.Gathered();
  if (pending_bytes > 0 && !writer_.Failed()) {
    // The stream may end inside a 4-byte unit: its missing bytes are zero
    // (and add nothing to the checksum).
    const size_t data_bytes = (pending_bytes + 3) & ~static_cast<size_t>(3);
    std::memset(writer_.GatherPlace(data_bytes - pending_bytes), 0, data_bytes - pending_bytes);
    WritePcmPacket(data_bytes);
  }
  writer_.EndGathering();
  // Written before the stop time is taken: a failed write sets the times
  // back to the last packet in the file.
  if (writer_.IsOpen()) WriteWaitingPackets();
  ch10_stop_time_ = current_archive_time_;
  CloseCh10File();
}

void ch10convertprocessclass::WritePcmPacket(size_t data_bytes) {
  // The data already lies in place, where the packet is framed.
  writer_.EndGathering();
  const uint16_t data_checksum = pending_checksum_;
  pending_checksum_ = 0;
  const uint32_t data_length = static_cast<uint32_t>(4 + data_bytes);
  uint8_t* packet = PlaceForPacket(PacketLengthFor(data_length));
  if (packet == nullptr) {
    ++pcm_sequence_;
    return;
  }
  PutLe32(packet + kCh10HeaderBytes, kPcmChannelWord);
  const uint16_t checksum =
      static_cast<uint16_t>(Ch10Checksum16(packet + kCh10HeaderBytes, 4) + data_checksum);
  FramePacket(packet, kPcmChannelId, kPcmDataType, pcm_sequence_, SecondsToRtc(relative_seconds_),
              data_length, checksum);
  AdvancePastPcmPacket(data_bytes);
}

void ch10convertprocessclass::WriteFullPcmPacketFrom(const uint8_t* data) {
  const uint32_t data_length = static_cast<uint32_t>(4 + full_packet_bytes_);
  uint8_t* packet = PlaceForPacket(PacketLengthFor(data_length));
  if (packet == nullptr) {
    ++pcm_sequence_;
    return;
  }
  uint8_t* body = packet + kCh10HeaderBytes;
  PutLe32(body, kPcmChannelWord);
  // Channel word and data are both of even length: their sums add up.
  const uint16_t checksum = static_cast<uint16_t>(
      Ch10Checksum16(body, 4) + Ch10CopyAndChecksum16(body + 4, data, full_packet_bytes_));
  FramePacket(packet, kPcmChannelId, kPcmDataType, pcm_sequence_, SecondsToRtc(relative_seconds_),
              data_length, checksum);
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
  pcm_packet_count_ += 1;
  PacketAppended();
  // A failed write has set the values back to those of the file.
  if (writer_.Failed()) return;
  if (current_archive_time_ - last_time_packet_time_ >= kTimePacketSpacing) {
    time_packet_count_ += 1;
    last_time_packet_time_ = current_archive_time_;
    WriteTimePacket(leap_year_, relative_seconds_, current_archive_time_);
  }
}

void ch10convertprocessclass::CloseCh10File() {
  if (!writer_.IsOpen()) return;
  WriteWaitingPackets();  // the values follow what reached the file
  writer_.Close();
}
