// ch10convertprocessclass: turns the pack file into the Chapter 10 file.
//
// The file holds one TMATS setup packet (channel 0), one time packet
// (channel 1), then PCM packets (channel 2) in throughput mode with a time
// packet about once per second of archive time; the conversion driver
// decides when. Every packet is assembled in one reusable buffer (header
// copy at bytes 0-23, body from byte 24, trailer after the body) and written
// with one call. The pack data of a PCM packet is read straight into that
// buffer, so memory stays the same whatever the archive's size and the data
// is copied only by the system's read and write.
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
#include "support/profile_files.h"
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

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

ch10convertprocessclass::ch10convertprocessclass(const std::string& pack_file_name,
                                                 const std::string& ch10_file_name,
                                                 const arkheaderstruct& setup)
    : PackFileName(pack_file_name),
      Ch10FileName(ch10_file_name),
      setup_(setup),
      packet_buffer_(kPacketBufferBytes, 0) {}

ch10convertprocessclass::~ch10convertprocessclass() {
  TmatsLines.clear();
  ClosePackFile();
  CloseCh10File();
}

bool ch10convertprocessclass::OpenPackFile(const std::string& pack_file_name) {
  pack_file_.Close();
  PackFileName = pack_file_name;
  pack_exhausted_ = false;
  if (!pack_file_.OpenRead(pack_file_name)) {
    // The pass then finds the end of input at once and writes no PCM packet.
    const int error_number = pack_file_.LastError();
    LogError("Unable to open pack file " + pack_file_name + " : " + SystemErrorText(error_number),
             error_number, true);
    pack_exhausted_ = true;
    return false;
  }
  return true;
}

bool ch10convertprocessclass::CreateCh10File(const std::string& ch10_file_name) {
  ch10_file_.Close();
  Ch10FileName = ch10_file_name;
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
  LogError(what + Ch10FileName + " : " + SystemErrorText(error_number), error_number, true);
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
  write_position_ = 0;
  std::memcpy(packet_buffer_.data(), header.Bytes, kCh10HeaderBytes);
  write_position_ = kCh10HeaderBytes;
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
  TmatsLines.clear();
  BuildTmatsText(TmatsLines, setup_);
  write_position_ = kCh10HeaderBytes;
  // PackTmatsBody grows the buffer for a text larger than 1 MiB.
  const size_t body_length = PackTmatsBody(packet_buffer_, kCh10HeaderBytes, TmatsLines);
  write_position_ = static_cast<uint32_t>(kCh10HeaderBytes + body_length);
  FrameAndWritePacket(kTmatsChannelId, kTmatsDataType, tmats_sequence_, 0,
                      static_cast<uint32_t>(body_length));
}

void ch10convertprocessclass::SetUpTiming() {
  CounterWrapPeriod = (SafePow(2.0, 48.0) - 1.0) * 1e-7;
  BitRate = static_cast<double>(setup_.BitsPerMinorFrame) * setup_.MinorFrameRate;

  double half_words = BitRate * 0.1 * 0.0625 * 0.5;  // bit rate / 320
  if (!(half_words > 0.0)) half_words = 0.0;
  if (half_words > kMaxPacketHalfWords) half_words = kMaxPacketHalfWords;
  int64_t n = FloorToInt(half_words);
  if (n > 0 && (n % 2) != 0) n -= 1;
  WordsPerPacket = static_cast<int32_t>(2 * n);
  if (WordsPerPacket < kMinWordsPerPacket) WordsPerPacket = kMinWordsPerPacket;

  // A stream without a usable bit rate has no duration per packet; the
  // packets still consume the pack file, so the pass ends.
  const bool rate_usable = BitRate > 0.0 && std::isfinite(BitRate);
  PacketDuration = rate_usable ? 1.0 / (BitRate / (WordsPerPacket * 16.0)) : 0.0;

  RelativeSeconds = 0.0;
  CurrentArchiveTime = Ch10StartTime = Ch10StopTime = setup_.StartTime;
  PcmPacketCount = 0.0;
  TimePacketCount = 1.0;
  // From the open pack file: the completeness check at the end of the pass
  // compares with it, so it must not depend on another open by name.
  PackFileSize = static_cast<double>(pack_file_.IsOpen() ? pack_file_.Size()
                                                         : GetFileSize64(PackFileName));
  PcmBytesConverted = 0.0;
}

void ch10convertprocessclass::WriteTimePacket(uint8_t leap_year, double relative_seconds,
                                              double archive_time) {
  write_position_ = kCh10HeaderBytes;
  const uint32_t body_length = BuildTimePacketBody(packet_buffer_.data() + kCh10HeaderBytes,
                                                   leap_year != 0, archive_time);
  write_position_ += body_length;
  FrameAndWritePacket(kTimeChannelId, kTimeDataType, time_sequence_,
                      SecondsToRtc(relative_seconds), body_length);
}

size_t ch10convertprocessclass::ReadPackBytes(uint8_t* out, size_t n) {
  if (pack_exhausted_ || n == 0) return 0;
  const int64_t got = pack_file_.Read(out, static_cast<int64_t>(n));
  const size_t delivered = got > 0 ? static_cast<size_t>(got) : 0;
  if (delivered < n) {
    // Read only stops short at the end of the file or on an error; either
    // way the input is over, and the next packet finds it without a read.
    pack_exhausted_ = true;
    const int error_number = pack_file_.LastError();
    if (error_number != 0) {
      // A read error ends the input like the end of the file does; it is
      // logged so that the shortened Chapter 10 file is not a surprise.
      LogError("Unable to read pack file " + PackFileName + " : " + SystemErrorText(error_number),
               error_number, true);
    }
  }
  return delivered;
}

void ch10convertprocessclass::WritePcmPacket(int32_t words_per_packet, bool& end_of_input,
                                             double relative_seconds) {
  const int64_t words = std::max<int64_t>(words_per_packet, kMinWordsPerPacket);
  const size_t wanted = static_cast<size_t>(words / 2) * 4;  // whole 4-byte units
  ReservePacketBuffer(kCh10HeaderBytes + 4 + wanted + kMaxTrailerBytes);

  write_position_ = kCh10HeaderBytes;
  PutLe32(packet_buffer_.data() + write_position_, kPcmChannelWord);
  write_position_ += 4;

  // The data goes straight to its place in the packet, after the channel word.
  const size_t got = ReadPackBytes(packet_buffer_.data() + write_position_, wanted);
  if (got == 0) {
    end_of_input = true;
    LastPacketDataBytes = 0;
    LastPacketDuration = 0.0;
    return;
  }
  end_of_input = false;

  // The pack file may end inside a 4-byte unit: its missing bytes are zero.
  const size_t data_bytes = (got + 3) & ~static_cast<size_t>(3);
  std::memset(packet_buffer_.data() + write_position_ + got, 0, data_bytes - got);
  write_position_ += static_cast<uint32_t>(data_bytes);

  LastPacketDataBytes = static_cast<int64_t>(data_bytes);
  const bool rate_usable = BitRate > 0.0 && std::isfinite(BitRate);
  // The same expression as the full packet duration, so a full packet's
  // duration is bit for bit PacketDuration.
  LastPacketDuration =
      rate_usable ? 1.0 / (BitRate / (static_cast<double>(data_bytes) * 8.0)) : 0.0;

  FrameAndWritePacket(kPcmChannelId, kPcmDataType, pcm_sequence_,
                      SecondsToRtc(relative_seconds), static_cast<uint32_t>(4 + data_bytes));
}

bool ch10convertprocessclass::ClosePackFile() {
  if (!pack_file_.IsOpen() || pack_file_.Close()) return true;
  const int error_number = pack_file_.LastError();
  LogError("Unable to close pack file " + PackFileName + " : " + SystemErrorText(error_number),
           error_number, true);
  return false;
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
