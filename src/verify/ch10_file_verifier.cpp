// The self-check of a written Chapter 10 file against its archive.
#include "verify/ch10_file_verifier.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "archive/archive_reader.h"
#include "archive/ark_header.h"
#include "support/platform_file.h"
#include "support/text_format.h"
#include "support/time_keeping.h"
#include "verify/archive_frame_stream.h"
#include "verify/ch10_packet_reader.h"
#include "verify/tmats_check.h"

namespace {

constexpr uint16_t kTmatsChannel = 0;
constexpr uint16_t kTimeChannel = 1;
constexpr uint16_t kPcmChannel = 2;
constexpr uint8_t kTmatsType = 0x01;
constexpr uint8_t kTimeType = 0x11;
constexpr uint8_t kPcmType = 0x09;
constexpr uint8_t kDataTypeVersion = 0x03;
constexpr uint8_t kPacketFlags = 0x02;
constexpr uint32_t kPcmChannelWord = 0x00100000;
constexpr uint32_t kTimeBodyBytes = 64;
constexpr uint32_t kTimeChannelWord = 0xF0;
constexpr uint32_t kTimeLeapYearBit = 0x100;
constexpr double kTicksPerSecond = 10000000.0;
// Time packets follow the PCM packet that brings the data time this far past
// the previous one.
constexpr double kTimePacketSpacing = 0.9;
// Sums of packet durations are compared with some slack for rounding.
constexpr double kTimeSlack = 1e-6;
constexpr int64_t kTickSlack = 2;
// A time packet's digits go down to tens of milliseconds, cut, not rounded.
constexpr double kTimeDigitsBelow = 0.010 + 1e-6;

std::string Count(int64_t n) { return std::to_string(n); }

class ch10fileverifierclass {
 public:
  verifyresultstruct Run(const std::string& archive_path, const std::string& ch10_path,
                         const std::function<bool()>& stop);

 private:
  bool CheckPacket(const ch10packetviewstruct& p);
  bool CheckTimePacket(const ch10packetviewstruct& p);
  bool CheckPcmPacket(const ch10packetviewstruct& p);
  bool CheckPacketTime(const ch10packetviewstruct& p, const char* kind);
  bool CompareWithArchive(const ch10packetviewstruct& p);
  bool CheckEnd(int64_t file_end);
  // The archive's frames ended early because a read failed: no verdict.
  bool ArchiveReadFailed() {
    result_.DifferenceOffset = -1;
    result_.Difference = "the archive " + archive_->FileName() +
                         " could not be read: " + SystemErrorText(stream_->LastError());
    return false;
  }
  bool Fail(int64_t offset, const std::string& text) {
    result_.DifferenceOffset = offset;
    result_.Difference = text;
    return false;
  }

  verifyresultstruct result_;
  std::unique_ptr<orloarkclass> archive_;
  std::unique_ptr<archiveframestreamclass> stream_;
  double bit_rate_ = 0.0;
  double start_time_ = 0.0;
  bool leap_year_ = false;

  uint8_t next_sequence_[3] = {0, 0, 0};
  bool time_packet_seen_ = false;
  double data_time_ = 0.0;        // seconds of PCM data so far
  double last_time_packet_ = 0.0; // data time of the last time packet
  uint32_t full_pcm_length_ = 0;  // data length of the first PCM packet
  bool short_pcm_seen_ = false;
  int64_t stream_bytes_ = 0;      // stream bytes compared so far
  bool stream_ended_ = false;
};

verifyresultstruct ch10fileverifierclass::Run(const std::string& archive_path,
                                             const std::string& ch10_path,
                                             const std::function<bool()>& stop) {
  archive_ = std::make_unique<orloarkclass>();
  if (!archive_->OpenArkFile(archive_path)) {
    result_.Difference = "the archive " + archive_path + " could not be opened";
    return result_;
  }
  const arkheaderstruct& h = archive_->Header();
  bit_rate_ = HeaderBitRate(h);
  if (!(bit_rate_ > 0.0) || !std::isfinite(bit_rate_)) {
    result_.Difference = "the archive's setup gives no bit rate";
    return result_;
  }
  start_time_ = h.StartTime;
  leap_year_ = IsLeapYear(h.ArchiveYear);
  stream_ = std::make_unique<archiveframestreamclass>(*archive_);
  if (!stream_->Open()) {
    result_.Difference = "the archive " + archive_path +
                         " could not be read: " + SystemErrorText(stream_->LastError());
    return result_;
  }

  ch10packetreaderclass reader;
  if (!reader.Open(ch10_path)) {
    result_.Difference = ch10_path + " could not be read: " + SystemErrorText(reader.LastError());
    return result_;
  }
  ch10packetviewstruct packet;
  std::string problem;
  for (;;) {
    if (stop && stop()) {
      result_.DifferenceOffset = -1;
      result_.Difference = "the check was interrupted";
      return result_;
    }
    const ch10packetreaderclass::Step step = reader.Next(packet, problem);
    if (step == ch10packetreaderclass::Step::End) break;
    if (step == ch10packetreaderclass::Step::Broken) {
      Fail(packet.Offset, problem);
      return result_;
    }
    if (!CheckPacket(packet)) return result_;
    ++result_.Packets;
  }
  if (!CheckEnd(reader.Position())) return result_;
  result_.ArchiveFrames = stream_->ArchiveFrames();
  result_.FillFrames = stream_->FillFrames();
  result_.Passed = true;
  return result_;
}

bool ch10fileverifierclass::CheckPacket(const ch10packetviewstruct& p) {
  const int64_t at = p.Offset;
  if (p.DataTypeVersion != kDataTypeVersion) return Fail(at, "data type version is not 0x03");
  if (p.PacketFlags != kPacketFlags) return Fail(at, "packet flags are not 0x02");
  if (!p.FillerZero) return Fail(at, "the filler before the data checksum is not zero");
  if (!p.DataChecksumGood) return Fail(at, "data checksum does not match the packet body");
  if (p.DataLength < 4) return Fail(at, "the body has no channel-specific data word");

  const bool first = result_.Packets == 0;
  if (first != (p.ChannelId == kTmatsChannel)) {
    return Fail(at, first ? "the first packet is not the TMATS packet"
                          : "a second TMATS packet");
  }
  if (p.ChannelId > kPcmChannel) return Fail(at, "unknown channel " + Count(p.ChannelId));
  static constexpr uint8_t kTypeOfChannel[3] = {kTmatsType, kTimeType, kPcmType};
  if (p.DataType != kTypeOfChannel[p.ChannelId]) {
    return Fail(at, "data type does not belong to channel " + Count(p.ChannelId));
  }
  uint8_t& expected_sequence = next_sequence_[p.ChannelId];
  if (p.SequenceNumber != expected_sequence) {
    return Fail(at, "channel " + Count(p.ChannelId) + " sequence number " +
                        Count(p.SequenceNumber) + ", expected " + Count(expected_sequence));
  }
  ++expected_sequence;  // 8-bit wrap

  if (p.ChannelId == kTmatsChannel) {
    if (VerifyLe32(p.Body) != 0) return Fail(at + 24, "TMATS channel-specific data word is not 0");
    if (p.RelativeTimeCounter != 0) return Fail(at + 16, "TMATS relative time counter is not 0");
    int64_t offset = 0;
    std::string difference;
    if (!CheckTmatsText(p.Body + 4, p.DataLength - 4, at + 24 + 4, archive_->Header(), offset,
                        difference)) {
      return Fail(offset, difference);
    }
    return true;
  }
  if (p.ChannelId == kTimeChannel) return CheckTimePacket(p);
  return CheckPcmPacket(p);
}

// A packet's relative time counter must date the data that follows it.
bool ch10fileverifierclass::CheckPacketTime(const ch10packetviewstruct& p, const char* kind) {
  const int64_t expected = static_cast<int64_t>(std::floor(data_time_ * kTicksPerSecond));
  const int64_t found = static_cast<int64_t>(p.RelativeTimeCounter);
  if (found < expected - kTickSlack || found > expected + kTickSlack) {
    return Fail(p.Offset, std::string(kind) + " relative time counter " + Count(found) +
                                   ", expected " + Count(expected) + " for its place in the data");
  }
  return true;
}

bool ch10fileverifierclass::CheckTimePacket(const ch10packetviewstruct& p) {
  const int64_t at = p.Offset;
  if (!time_packet_seen_ && result_.Packets != 1) {
    return Fail(at, "the first time packet does not follow the TMATS packet");
  }
  if (p.DataLength != kTimeBodyBytes) return Fail(at + 8, "time packet body is not 64 bytes");
  const uint32_t word = VerifyLe32(p.Body);
  if (word != (kTimeChannelWord | (leap_year_ ? kTimeLeapYearBit : 0))) {
    return Fail(at + 24, "time channel-specific data word does not match the archive's year");
  }
  for (uint32_t i = 10; i < kTimeBodyBytes; ++i) {
    if (p.Body[i] != 0) return Fail(at + 24 + i, "time packet body is not zero after the time");
  }
  double seconds = 0.0;
  if (!DecodeBcdDayTime(p.Body + 4, seconds)) return Fail(at + 28, "time words are not decimal");
  if (!CheckPacketTime(p, "time packet")) return false;
  const double expected = start_time_ + data_time_;
  if (seconds < expected - kTimeDigitsBelow || seconds > expected + 1e-4) {
    return Fail(at + 28, "time packet says " + FormatDayTimeMicro(seconds) +
                             ", the data there is at " + FormatDayTimeMicro(expected));
  }
  if (time_packet_seen_ && data_time_ - last_time_packet_ < kTimePacketSpacing - kTimeSlack) {
    return Fail(at, "time packet less than 0.9 s of data after the previous one");
  }
  time_packet_seen_ = true;
  last_time_packet_ = data_time_;
  return true;
}

bool ch10fileverifierclass::CheckPcmPacket(const ch10packetviewstruct& p) {
  const int64_t at = p.Offset;
  if (!time_packet_seen_) return Fail(at, "PCM packet before the first time packet");
  if (VerifyLe32(p.Body) != kPcmChannelWord) {
    return Fail(at + 24, "PCM channel-specific data word is not 0x00100000 (throughput mode)");
  }
  if (p.DataLength < 8 || (p.DataLength - 4) % 4 != 0) {
    return Fail(at + 8, "PCM data is not a whole number of 4-byte units");
  }
  if (full_pcm_length_ == 0) full_pcm_length_ = p.DataLength;
  if (short_pcm_seen_ || p.DataLength > full_pcm_length_) {
    return Fail(at + 8, "PCM packet length differs from the packets before it");
  }
  if (p.DataLength < full_pcm_length_) short_pcm_seen_ = true;
  if (data_time_ - last_time_packet_ >= kTimePacketSpacing + kTimeSlack) {
    return Fail(at, "time packet missing: " +
                        FormatFixedNumber(12, 6, data_time_ - last_time_packet_) +
                        " s of data since the last one");
  }
  if (!CheckPacketTime(p, "PCM packet")) return false;
  if (!CompareWithArchive(p)) return false;
  data_time_ += static_cast<double>(p.DataLength - 4) * 8.0 / bit_rate_;
  return true;
}

bool ch10fileverifierclass::CompareWithArchive(const ch10packetviewstruct& p) {
  const uint8_t* data = p.Body + 4;
  const size_t size = p.DataLength - 4;
  const int64_t data_offset = p.Offset + 24 + 4;
  size_t done = 0;
  while (done < size && !stream_ended_) {
    const uint8_t* expected = nullptr;
    const size_t made = stream_->Peek(expected);
    if (made == 0) {
      if (stream_->ReadFailed()) return ArchiveReadFailed();
      stream_ended_ = true;
      break;
    }
    const size_t k = std::min(made, size - done);
    if (std::memcmp(data + done, expected, k) != 0) {
      size_t i = 0;
      while (data[done + i] == expected[i]) ++i;
      return Fail(data_offset + static_cast<int64_t>(done + i),
                  "PCM data differs from the archive's frames (stream frame " +
                      Count(stream_->FrameAtByte(stream_bytes_ + static_cast<int64_t>(i))) + ")");
    }
    stream_->Consume(k);
    done += k;
    stream_bytes_ += static_cast<int64_t>(k);
  }
  if (done == size) return true;
  // Past the archive's frames only the zero bytes that complete the last
  // 4-byte unit may follow.
  if (size - done >= 4 || stream_bytes_ % 4 == 0) {
    return Fail(data_offset + static_cast<int64_t>(done),
                "PCM data goes on past the archive's frames");
  }
  for (size_t i = done; i < size; ++i) {
    if (data[i] != 0) return Fail(data_offset + static_cast<int64_t>(i), "PCM padding is not zero");
  }
  return true;
}

bool ch10fileverifierclass::CheckEnd(int64_t file_end) {
  if (result_.Packets == 0) return Fail(0, "the file holds no packet");
  if (!time_packet_seen_) return Fail(file_end, "the file holds no time packet");
  const uint8_t* more = nullptr;
  if (!stream_ended_ && stream_->Peek(more) > 0) {
    return Fail(file_end, "the file ends before the archive's frames do (stream frame " +
                              Count(stream_->FrameAtByte(stream_bytes_)) + " missing)");
  }
  if (stream_->ReadFailed()) return ArchiveReadFailed();
  if (data_time_ - last_time_packet_ >= kTimePacketSpacing + kTimeSlack) {
    return Fail(file_end, "time packet missing after the last PCM packet");
  }
  return true;
}

}  // namespace

verifyresultstruct VerifyCh10File(const std::string& archive_path, const std::string& ch10_path,
                                  const std::function<bool()>& stop) {
  ch10fileverifierclass verifier;
  return verifier.Run(archive_path, ch10_path, stop);
}

std::string VerifyResultText(const verifyresultstruct& result) {
  if (result.Passed) {
    return "verified: " + Count(result.ArchiveFrames) + " frames, " + Count(result.FillFrames) +
           " fill frames, " + Count(result.Packets) + " packets";
  }
  if (result.DifferenceOffset < 0) return "not verified: " + result.Difference;
  return "difference at byte " + Count(result.DifferenceOffset) + ": " + result.Difference;
}
