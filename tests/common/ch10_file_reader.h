// Test-side Chapter 10 reader: parses a Chapter 10 file packet by packet,
// checks the framing of every packet independently of the writer (its own
// checksum routine, its own field decoding) and decodes the bodies the
// converter writes: the time packet's day-format BCD words and the PCM
// throughput-mode data.
//
// Header only, for any test suite:
//   std::vector<testutil::Ch10Packet> packets;
//   std::string error;
//   ASSERT_TRUE(testutil::ReadCh10File(path, packets, error)) << error;
//   for (const auto& p : packets) EXPECT_TRUE(p.ChecksumsGood());
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/test_helpers.h"

namespace testutil {

constexpr uint16_t kCh10Sync = 0xEB25;
constexpr uint16_t kCh10TmatsChannel = 0;
constexpr uint16_t kCh10TimeChannel = 1;
constexpr uint16_t kCh10PcmChannel = 2;
constexpr uint8_t kCh10TmatsType = 0x01;
constexpr uint8_t kCh10TimeType = 0x11;
constexpr uint8_t kCh10PcmType = 0x09;
constexpr uint32_t kCh10PcmChannelWord = 0x00100000;

inline uint16_t Ch10ReadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t Ch10ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Sum of little-endian 16-bit words modulo 65,536; an odd last byte is the
// low byte of a word whose high byte is 0.
inline uint16_t Ch10ReferenceChecksum(const uint8_t* bytes, size_t length) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 1 < length; i += 2) sum += Ch10ReadLe16(bytes + i);
  if (i < length) sum += bytes[i];
  return static_cast<uint16_t>(sum & 0xFFFF);
}

// One packet as found in the file.
struct Ch10Packet {
  size_t offset = 0;              // of the sync pattern in the file
  uint16_t channel = 0;
  uint32_t packet_length = 0;
  uint32_t data_length = 0;
  uint8_t data_type_version = 0;
  uint8_t sequence = 0;
  uint8_t flags = 0;
  uint8_t data_type = 0;
  uint64_t rtc = 0;               // 48-bit relative time counter
  uint16_t header_checksum = 0;   // as stored at offset 22
  bool header_checksum_ok = false;
  uint32_t filler_length = 0;     // zero bytes between body and data checksum
  bool filler_zero = false;
  uint16_t data_checksum = 0;     // as stored in the trailer
  bool data_checksum_ok = false;
  std::vector<uint8_t> header;    // the 24 header bytes
  std::vector<uint8_t> body;      // data_length bytes, channel-specific word first

  bool ChecksumsGood() const { return header_checksum_ok && data_checksum_ok && filler_zero; }
  uint32_t ChannelWord() const { return body.size() >= 4 ? Ch10ReadLe32(body.data()) : 0; }
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

// Parses packets back to back from the first byte to the last. False (with
// a reason naming the packet's offset) when a packet is not framed as
// written: wrong sync pattern, a length that does not fit, a packet running
// past the end of the file, data type version not 0x03 or a trailer shorter
// than the 2-byte checksum. Checksum and filler results are kept per packet.
inline bool ParseCh10Packets(const std::vector<uint8_t>& file, std::vector<Ch10Packet>& packets,
                             std::string& error) {
  packets.clear();
  size_t at = 0;
  while (at < file.size()) {
    const std::string where = "packet " + std::to_string(packets.size()) + " at offset " +
                              std::to_string(at) + ": ";
    if (file.size() - at < 24) {
      error = where + "fewer than 24 bytes left for the header";
      return false;
    }
    const uint8_t* h = file.data() + at;
    Ch10Packet p;
    p.offset = at;
    if (Ch10ReadLe16(h) != kCh10Sync) {
      error = where + "sync pattern is not 0xEB25";
      return false;
    }
    p.channel = Ch10ReadLe16(h + 2);
    p.packet_length = Ch10ReadLe32(h + 4);
    p.data_length = Ch10ReadLe32(h + 8);
    p.data_type_version = h[12];
    p.sequence = h[13];
    p.flags = h[14];
    p.data_type = h[15];
    p.rtc = static_cast<uint64_t>(Ch10ReadLe32(h + 16)) |
            (static_cast<uint64_t>(Ch10ReadLe16(h + 20)) << 32);
    p.header_checksum = Ch10ReadLe16(h + 22);
    p.header_checksum_ok = Ch10ReferenceChecksum(h, 22) == p.header_checksum;
    if (p.data_type_version != 0x03) {
      error = where + "data type version is not 0x03";
      return false;
    }
    if (p.packet_length < 24 + 2 ||
        static_cast<uint64_t>(p.data_length) + 24 + 2 > p.packet_length) {
      error = where + "packet length " + std::to_string(p.packet_length) +
              " cannot hold data length " + std::to_string(p.data_length) + " and a checksum";
      return false;
    }
    if (p.packet_length > file.size() - at) {
      error = where + "packet length " + std::to_string(p.packet_length) +
              " runs past the end of the file";
      return false;
    }
    p.header.assign(h, h + 24);
    p.body.assign(h + 24, h + 24 + p.data_length);
    p.filler_length = p.packet_length - 24 - p.data_length - 2;
    p.filler_zero = true;
    for (uint32_t i = 0; i < p.filler_length; ++i) {
      if (h[24 + p.data_length + i] != 0) p.filler_zero = false;
    }
    p.data_checksum = Ch10ReadLe16(h + p.packet_length - 2);
    p.data_checksum_ok = Ch10ReferenceChecksum(p.body.data(), p.body.size()) == p.data_checksum;
    packets.push_back(std::move(p));
    at += packets.back().packet_length;
  }
  error.clear();
  return true;
}

inline bool ReadCh10File(const std::string& path, std::vector<Ch10Packet>& packets,
                         std::string& error) {
  return ParseCh10Packets(ReadAllBytes(path), packets, error);
}

// A time packet body (Time Data, Format 1, day format) decoded.
struct Ch10DayTime {
  uint32_t channel_word = 0;
  bool leap_year = false;      // bit 8 of the channel-specific word
  uint16_t words[3] = {0, 0, 0};
  int day = 0;
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  int milliseconds = 0;        // hundreds and tens of milliseconds only
  bool digits_valid = false;   // every BCD digit is 0 to 9 and bits outside the fields are 0
  bool tail_zero = false;      // body bytes 10 to 63 are all 0

  // Day-of-year seconds (day 1, 00:00:00 is 86,400) of the decoded time.
  double DayOfYearSeconds() const {
    return day * 86400.0 + hours * 3600.0 + minutes * 60.0 + seconds + milliseconds / 1000.0;
  }
};

// False when the body is not the 64 bytes of a time packet.
inline bool DecodeCh10TimeBody(const std::vector<uint8_t>& body, Ch10DayTime& t) {
  if (body.size() != 64) return false;
  t.channel_word = Ch10ReadLe32(body.data());
  t.leap_year = (t.channel_word & 0x100) != 0;
  for (int i = 0; i < 3; ++i) t.words[i] = Ch10ReadLe16(body.data() + 4 + 2 * i);
  const uint16_t w0 = t.words[0], w1 = t.words[1], w2 = t.words[2];
  const int tens_ms = w0 & 0xF, hundreds_ms = (w0 >> 4) & 0xF;
  const int units_s = (w0 >> 8) & 0xF, tens_s = (w0 >> 12) & 0x7;
  const int units_min = w1 & 0xF, tens_min = (w1 >> 4) & 0x7;
  const int units_h = (w1 >> 8) & 0xF, tens_h = (w1 >> 12) & 0x3;
  const int units_day = w2 & 0xF, tens_day = (w2 >> 4) & 0xF, hundreds_day = (w2 >> 8) & 0x3;
  t.milliseconds = hundreds_ms * 100 + tens_ms * 10;
  t.seconds = tens_s * 10 + units_s;
  t.minutes = tens_min * 10 + units_min;
  t.hours = tens_h * 10 + units_h;
  t.day = hundreds_day * 100 + tens_day * 10 + units_day;
  t.digits_valid = tens_ms <= 9 && hundreds_ms <= 9 && units_s <= 9 && units_min <= 9 &&
                   units_h <= 9 && units_day <= 9 && tens_day <= 9 && (w0 & 0x8000) == 0 &&
                   (w1 & 0xC080) == 0 && (w2 & 0xFC00) == 0;
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
