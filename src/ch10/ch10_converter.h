// ch10convertprocessclass: the Chapter 10 writer. Takes the packed PCM
// stream as it is produced and writes the TMATS setup packet, time packets
// and throughput-mode PCM packets into the Chapter 10 file.
//
// A run: Start (file, TMATS packet, timing, first time packet), then
// AcceptPackedBytes as the stream comes (every full PCM packet is written
// as soon as its bytes are there, with a time packet after each PCM packet
// that brings the archive time 0.9 s or more past the previous one), then
// Finish (the short last packet, the stop time, the file closed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pack/packed_byte_sink.h"
#include "support/platform_file.h"

struct arkheaderstruct;

class ch10convertprocessclass : public packedbytesinkclass {
 public:
  ch10convertprocessclass(const std::string& ch10_file_name, const arkheaderstruct& setup);
  ~ch10convertprocessclass() override;
  ch10convertprocessclass(const ch10convertprocessclass&) = delete;
  ch10convertprocessclass& operator=(const ch10convertprocessclass&) = delete;

  // The run. Start returns false when the Chapter 10 file cannot be created
  // or written (reported); AcceptPackedBytes returns false once a write has
  // failed. Finish writes what is left of the stream as a last, shorter PCM
  // packet (zero-padded to a 4-byte unit) and closes the file.
  bool Start();
  bool AcceptPackedBytes(const uint8_t* bytes, size_t count) override;
  void Finish();

  // The steps of Start, also used on their own.
  bool CreateCh10File(const std::string& ch10_file_name);
  void WriteTmatsPacket();
  void SetUpTiming();
  void WriteTimePacket(uint8_t leap_year, double relative_seconds, double archive_time);
  void CloseCh10File();

  // True once a write to the Chapter 10 file failed or came up short
  // (reported once with LogError, code = the error number).
  bool OutputFailed() const { return output_error_ != 0; }
  int OutputError() const { return output_error_; }

  // Counters and times for the progress view and the notes.
  int64_t TimePacketCount() const { return time_packet_count_; }
  int64_t PcmPacketCount() const { return pcm_packet_count_; }
  // Archive time of the next PCM packet's first bit.
  double CurrentArchiveTime() const { return current_archive_time_; }
  double Ch10StartTime() const { return ch10_start_time_; }
  double Ch10StopTime() const { return ch10_stop_time_; }
  // Bytes of the packed stream taken so far.
  int64_t PackedBytesAccepted() const { return packed_bytes_accepted_; }

  // The timing of the run, set by SetUpTiming.
  double CounterWrapPeriod() const { return counter_wrap_period_; }
  double RelativeSeconds() const { return relative_seconds_; }
  double BitRate() const { return bit_rate_; }
  int32_t WordsPerPacket() const { return words_per_packet_; }
  double PacketDuration() const { return packet_duration_; }

  const std::string& Ch10FileName() const { return ch10_file_name_; }
  const std::vector<std::string>& TmatsLines() const { return tmats_lines_; }

 private:
  // Frames the body of data_length bytes that sits at packet_buffer_[24]:
  // trailer, header (also copied to bytes 0-23), one write of the whole
  // packet, then the channel's sequence counter moves on (8-bit wrap).
  void FrameAndWritePacket(uint16_t channel_id, uint8_t data_type, uint8_t& sequence,
                           uint64_t relative_time_counter, uint32_t data_length);
  // Makes packet_buffer_ hold at least the given number of bytes.
  void ReservePacketBuffer(size_t bytes);
  // Writes the PCM packet whose data (data_bytes, a multiple of 4) waits in
  // the packet buffer, then moves the times on by its duration and writes a
  // time packet when one is due.
  void WritePcmPacket(size_t data_bytes);
  // The same for a full packet whose data lies in the stream as handed
  // over: written from there with one gather call, without a copy.
  void WriteFullPcmPacketFrom(const uint8_t* data);
  // After a PCM packet of data_bytes reached the file: times, the time
  // packet when one is due, the count.
  void AdvancePastPcmPacket(size_t data_bytes);
  void ReportOutputFailure(const std::string& what, int error_number);

  const arkheaderstruct& setup_;
  std::string ch10_file_name_;
  PlatformFile ch10_file_;
  int output_error_ = 0;
  std::vector<std::string> tmats_lines_;

  double counter_wrap_period_ = 0.0;
  double relative_seconds_ = 0.0;
  double current_archive_time_ = 0.0;
  double bit_rate_ = 0.0;
  int32_t words_per_packet_ = 0;
  double packet_duration_ = 0.0;
  double ch10_start_time_ = 0.0;
  double ch10_stop_time_ = 0.0;
  double last_time_packet_time_ = 0.0;
  uint8_t leap_year_ = 0;
  int64_t pcm_packet_count_ = 0;
  int64_t time_packet_count_ = 0;
  int64_t packed_bytes_accepted_ = 0;

  // Packet assembly buffer: bytes 0-23 hold the header copy, the body
  // starts at 24 (the PCM channel word, then the data). Reused for every
  // packet; the stream's bytes gather in it until a packet is full.
  std::vector<uint8_t> packet_buffer_;
  size_t full_packet_bytes_ = 0;   // PCM data bytes of a full packet
  size_t pending_bytes_ = 0;       // PCM data bytes waiting in the buffer
  uint8_t tmats_sequence_ = 0;
  uint8_t pcm_sequence_ = 0;
  uint8_t time_sequence_ = 0;
};
