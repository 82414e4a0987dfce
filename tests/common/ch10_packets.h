// The packets of a written Chapter 10 file as copies a test can keep and
// compare. They are read with the self-check's reader, which decodes the
// fields and sums the checksums itself and shares nothing with the writer;
// this only copies what it finds and adds the checks a test wants beyond it.
//
//   std::vector<testutil::Ch10Packet> packets;
//   std::string error;
//   ASSERT_TRUE(testutil::ReadCh10File(path, packets, error)) << error;
//   for (const auto& p : packets) EXPECT_TRUE(p.ChecksumsGood());
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "verify/ch10_packet_reader.h"

namespace testutil {

constexpr uint16_t kCh10TmatsChannel = 0;
constexpr uint16_t kCh10TimeChannel = 1;
constexpr uint16_t kCh10PcmChannel = 2;
constexpr uint8_t kCh10TmatsType = 0x01;
constexpr uint8_t kCh10PcmType = 0x09;
constexpr uint32_t kCh10PcmChannelWord = 0x00100000;

// One packet as found in the file.
struct Ch10Packet {
  size_t offset = 0;  // of the sync pattern in the file
  uint16_t channel = 0;
  uint32_t packet_length = 0;
  uint32_t data_length = 0;
  uint8_t sequence = 0;
  uint8_t flags = 0;
  uint8_t data_type = 0;
  uint64_t rtc = 0;  // 48-bit relative time counter
  bool header_checksum_ok = false;
  uint32_t filler_length = 0;  // zero bytes between body and data checksum
  bool filler_zero = false;
  uint16_t data_checksum = 0;  // as stored in the trailer
  bool data_checksum_ok = false;
  std::vector<uint8_t> body;    // data_length bytes, channel-specific word first

  bool ChecksumsGood() const { return header_checksum_ok && data_checksum_ok && filler_zero; }
  uint32_t ChannelWord() const { return body.size() >= 4 ? VerifyLe32(body.data()) : 0; }
  // Body without its 4-byte channel-specific data word (PCM data, TMATS text).
  std::vector<uint8_t> Payload() const {
    if (body.size() <= 4) return {};
    return std::vector<uint8_t>(body.begin() + 4, body.end());
  }
  std::string PayloadText() const {
    std::vector<uint8_t> p = Payload();
    return std::string(p.begin(), p.end());
  }
};

// Every packet of the file, from its first byte to its last. False, with
// the reason and the packet's offset, when the file cannot be read, when
// what follows a packet is not a whole packet (as the self-check's reader
// judges it), or when a packet's data type version is not 0x03.
inline bool ReadCh10File(const std::string& path, std::vector<Ch10Packet>& packets,
                         std::string& error) {
  packets.clear();
  ch10packetreaderclass reader;
  if (!reader.Open(path)) {
    error = path + " could not be opened";
    return false;
  }
  ch10packetviewstruct v;
  std::string problem;
  for (;;) {
    const ch10packetreaderclass::Step step = reader.Next(v, problem);
    if (step == ch10packetreaderclass::Step::End) break;
    const std::string where = "packet " + std::to_string(packets.size()) + " at offset " +
                              std::to_string(v.Offset) + ": ";
    if (step == ch10packetreaderclass::Step::Broken) {
      error = where + problem;
      return false;
    }
    if (v.DataTypeVersion != 0x03) {
      error = where + "data type version is not 0x03";
      return false;
    }
    Ch10Packet p;
    p.offset = static_cast<size_t>(v.Offset);
    p.channel = v.ChannelId;
    p.packet_length = v.PacketLength;
    p.data_length = v.DataLength;
    p.sequence = v.SequenceNumber;
    p.flags = v.PacketFlags;
    p.data_type = v.DataType;
    p.rtc = v.RelativeTimeCounter;
    p.header_checksum_ok = v.HeaderChecksumGood;
    p.filler_length = v.FillerLength;
    p.filler_zero = v.FillerZero;
    p.data_checksum = VerifyLe16(v.Body + v.DataLength + v.FillerLength);
    p.data_checksum_ok = v.DataChecksumGood;
    p.body.assign(v.Body, v.Body + v.DataLength);
    packets.push_back(std::move(p));
  }
  error.clear();
  return true;
}

// A time packet body (day format) decoded.
struct Ch10DayTime {
  uint32_t channel_word = 0;
  bool leap_year = false;     // bit 8 of the channel-specific word
  bool digits_valid = false;  // every BCD digit is 0 to 9 and bits outside the fields are 0
  bool tail_zero = false;     // body bytes 10 to 63 are all 0
  double seconds = 0.0;       // day-of-year seconds, when the digits are valid

  double DayOfYearSeconds() const { return seconds; }
};

// False when the body is not the 64 bytes of a time packet.
inline bool DecodeCh10TimeBody(const std::vector<uint8_t>& body, Ch10DayTime& t) {
  if (body.size() != 64) return false;
  t.channel_word = VerifyLe32(body.data());
  t.leap_year = (t.channel_word & 0x100) != 0;
  t.digits_valid = DecodeBcdDayTime(body.data() + 4, t.seconds);
  t.tail_zero = true;
  for (size_t i = 10; i < body.size(); ++i) {
    if (body[i] != 0) t.tail_zero = false;
  }
  return true;
}

// The PCM data of every PCM packet (channel 2) in file order, joined.
inline std::vector<uint8_t> ConcatenatePcmPayloads(const std::vector<Ch10Packet>& packets) {
  std::vector<uint8_t> data;
  for (const Ch10Packet& p : packets) {
    if (p.channel != kCh10PcmChannel || p.body.size() < 4) continue;
    data.insert(data.end(), p.body.begin() + 4, p.body.end());
  }
  return data;
}

}  // namespace testutil
