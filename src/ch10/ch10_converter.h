// ch10convertprocessclass: the Chapter 10 writer. Reads the pack file and
// writes the TMATS setup packet, time packets and throughput-mode PCM
// packets into the Chapter 10 file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/platform_file.h"

struct arkheaderstruct;

class ch10convertprocessclass {
 public:
  ch10convertprocessclass(const std::string& pack_file_name, const std::string& ch10_file_name,
                          const arkheaderstruct& setup);
  ~ch10convertprocessclass();
  ch10convertprocessclass(const ch10convertprocessclass&) = delete;
  ch10convertprocessclass& operator=(const ch10convertprocessclass&) = delete;

  bool OpenPackFile(const std::string& pack_file_name);
  bool CreateCh10File(const std::string& ch10_file_name);
  void WriteTmatsPacket();
  void SetUpTiming();
  void WriteTimePacket(uint8_t leap_year, double relative_seconds, double archive_time);
  // Writes one PCM packet of up to words_per_packet 16-bit words. When the
  // pack file ends inside a packet, what is left goes out as a last, shorter
  // packet; the next call sets end_of_input and writes nothing.
  void WritePcmPacket(int32_t words_per_packet, bool& end_of_input, double relative_seconds);
  // Closes the pack file; false (logged) when the close reports an error.
  bool ClosePackFile();
  void CloseCh10File();

  // True once a write to the Chapter 10 file failed or came up short
  // (reported once with LogError, code = the error number).
  bool OutputFailed() const { return output_error_ != 0; }
  int OutputError() const { return output_error_; }

  double CounterWrapPeriod = 0.0;
  double RelativeSeconds = 0.0;
  double CurrentArchiveTime = 0.0;
  double BitRate = 0.0;
  int32_t WordsPerPacket = 0;
  double PacketDuration = 0.0;
  double Ch10StartTime = 0.0;
  double Ch10StopTime = 0.0;
  double PcmPacketCount = 0.0;
  double TimePacketCount = 0.0;
  double PackFileSize = 0.0;
  double PcmBytesConverted = 0.0;
  // Data bytes (channel-specific word excluded) and duration of the last
  // PCM packet written; the driver advances the times by this duration.
  int64_t LastPacketDataBytes = 0;
  double LastPacketDuration = 0.0;
  std::string PackFileName;
  std::string Ch10FileName;
  std::vector<std::string> TmatsLines;

 private:
  const arkheaderstruct& setup_;
  PlatformFile pack_file_;
  PlatformFile ch10_file_;
  int output_error_ = 0;

  // Frames the body of data_length bytes that sits at packet_buffer_[24]:
  // trailer, header (also copied to bytes 0-23), one write of the whole
  // packet, then the channel's sequence counter moves on (8-bit wrap).
  void FrameAndWritePacket(uint16_t channel_id, uint8_t data_type, uint8_t& sequence,
                           uint64_t relative_time_counter, uint32_t data_length);
  // Makes packet_buffer_ hold at least the given number of bytes.
  void ReservePacketBuffer(size_t bytes);
  // Reads up to n bytes of the pack file straight to out (one read call);
  // returns the bytes delivered, fewer only at the end of the file or after
  // a read error (logged). Either ends the input: later calls return 0.
  size_t ReadPackBytes(uint8_t* out, size_t n);
  void ReportOutputFailure(const std::string& what, int error_number);

  // Packet assembly buffer: bytes 0-23 hold the header copy, the body
  // starts at 24. Reused for every packet.
  std::vector<uint8_t> packet_buffer_;
  uint32_t write_position_ = 0;
  uint8_t tmats_sequence_ = 0;
  uint8_t pcm_sequence_ = 0;
  uint8_t time_sequence_ = 0;
  // Set once the pack file has ended (or failed to open or read).
  bool pack_exhausted_ = false;
};
