// ch10convertprocessclass: the Chapter 10 writer. Takes the packed PCM
// stream as it is produced and writes the TMATS setup packet, time packets
// and throughput-mode PCM packets into the Chapter 10 file.
//
// A run: Start (file, TMATS packet, timing, first time packet), then
// AcceptPackedBytes as the stream comes (every full PCM packet is framed
// as soon as its bytes are there, with a time packet after each PCM packet
// that brings the archive time 0.9 s or more past the previous one), then
// Finish (the short last packet, the stop time, the file closed). Packets
// go to the file through a packetbatchwriterclass, in large blocks; the
// counters and times describe the packets framed so far, and after a
// failed write those that wholly reached the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ch10/packet_batch_writer.h"
#include "pack/packed_byte_sink.h"

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
  // packet (zero-padded to a 4-byte unit), makes the file durable and
  // closes it.
  bool Start();
  bool AcceptPackedBytes(const uint8_t* bytes, size_t count) override;
  void Finish();

  // The steps of Start, also used on their own. The Chapter 10 file must not
  // exist yet: nothing is ever truncated or written through a link.
  bool CreateCh10File(const std::string& ch10_file_name);
  void WriteTmatsPacket();
  void SetUpTiming();
  void WriteTimePacket(uint8_t leap_year, double relative_seconds, double archive_time);
  void CloseCh10File();

  // True once a write to the Chapter 10 file failed or came up short
  // (reported once with LogError, code = the error number).
  bool OutputFailed() const { return writer_.Failed(); }
  int OutputError() const { return writer_.Error(); }

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

  const std::string& Ch10FileName() const { return writer_.FileName(); }
  const std::vector<std::string>& TmatsLines() const { return tmats_lines_; }

 private:
  // The values a failed write takes back to the last packet that wholly
  // reached the file.
  struct progressstruct {
    int64_t PcmPacketCount = 0;
    int64_t TimePacketCount = 0;
    double CurrentArchiveTime = 0.0;
    double RelativeSeconds = 0.0;
    double LastTimePacketTime = 0.0;
  };
  // Where the next packet of up to packet_bytes goes (after the packets
  // waiting; a PCM packet being gathered moves up behind it). Null, with
  // the failure reported, when nothing can be written any more.
  uint8_t* PlaceForPacket(size_t packet_bytes);
  // Frames the body of data_length bytes (checksum given) at `packet`, the
  // place PlaceForPacket gave: header, trailer; the packet then waits to be
  // written, and the channel's sequence counter moves on (8-bit wrap). The
  // caller then updates the values the packet changes and calls
  // PacketAppended.
  void FramePacket(uint8_t* packet, uint16_t channel_id, uint8_t data_type, uint8_t& sequence,
                   uint64_t relative_time_counter, uint32_t data_length, uint16_t checksum);
  // Records the current values as those once the packet just framed is in
  // the file, and writes the waiting packets out once they are many enough.
  void PacketAppended();
  // One write of every waiting packet. On a failed or short write the
  // values go back to those after the last packet wholly written (the
  // writer reports the failure).
  void WriteWaitingPackets();
  progressstruct CurrentProgress() const;
  void RestoreProgress(const progressstruct& progress);
  // Frames the PCM packet being gathered (data_bytes, a multiple of 4),
  // then moves the times on by its duration and adds a time packet when
  // one is due.
  void WritePcmPacket(size_t data_bytes);
  // The same for a full packet whose data lies in the stream as handed
  // over: copied from there into the output buffer as it is summed.
  void WriteFullPcmPacketFrom(const uint8_t* data);
  // After a PCM packet of data_bytes was framed: times, the count, the
  // time packet when one is due.
  void AdvancePastPcmPacket(size_t data_bytes);

  const arkheaderstruct& setup_;
  packetbatchwriterclass writer_;
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

  // The values once each waiting packet is in the file, by its place among
  // the writer's waiting packets; fixed size, allocated once. Behind the
  // waiting packets the writer gathers a PCM packet's data in place
  // (channel word at +24, data from +28) until it is full.
  std::vector<progressstruct> waiting_progress_;
  progressstruct written_progress_;  // the values after the last write
  size_t full_packet_bytes_ = 0;     // PCM data bytes of a full packet
  uint16_t pending_checksum_ = 0;    // the 16-bit sum of the data gathered
  uint8_t tmats_sequence_ = 0;
  uint8_t pcm_sequence_ = 0;
  uint8_t time_sequence_ = 0;
};
