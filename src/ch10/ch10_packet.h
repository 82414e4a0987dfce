// Chapter 10 packet framing: the 24-byte packet header, the 16-bit checksum
// shared by header and body, the trailer (filler and data checksum), the
// 48-bit relative time counter and the write of one packet.
//
// Every packet this program writes has no secondary header, flags 0x02
// (16-bit data checksum present) and data type version 0x03. All fields are
// little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

class PlatformFile;

constexpr uint16_t kCh10SyncPattern = 0xEB25;
constexpr uint8_t kCh10DataTypeVersion = 0x03;
constexpr uint8_t kCh10PacketFlags = 0x02;
constexpr uint32_t kCh10HeaderBytes = 24;
constexpr uint32_t kCh10ChecksumBytes = 2;

constexpr uint16_t kTmatsChannelId = 0;
constexpr uint16_t kTimeChannelId = 1;
constexpr uint16_t kPcmChannelId = 2;
constexpr uint8_t kTmatsDataType = 0x01;  // Computer-Generated Data, Format 1
constexpr uint8_t kTimeDataType = 0x11;   // Time Data, Format 1
constexpr uint8_t kPcmDataType = 0x09;    // PCM Data, Format 1

// The relative time counter counts 100 ns ticks in 48 bits.
constexpr double kRtcTicksPerSecond = 10000000.0;
constexpr uint64_t kRtcMask = (uint64_t{1} << 48) - 1;

// Header fields in file order, and the 24 bytes they encode to.
struct ch10headerstruct {
  uint16_t SyncPattern = 0;
  uint16_t ChannelId = 0;
  uint32_t PacketLength = 0;
  uint32_t DataLength = 0;
  uint8_t DataTypeVersion = 0;
  uint8_t SequenceNumber = 0;
  uint8_t PacketFlags = 0;
  uint8_t DataType = 0;
  uint32_t RtcLow = 0;       // bits 0-31 of the counter
  uint16_t RtcHigh = 0;      // bits 32-47 of the counter
  uint16_t HeaderChecksum = 0;
  uint8_t Bytes[kCh10HeaderBytes] = {};
};

// What the data checksum step hands to the packet writer. The filler brings
// the packet length to a multiple of 4: 2 bytes for the time and PCM bodies
// (whose lengths are multiples of 4), 0 to 3 for a TMATS body.
struct ch10trailerstruct {
  uint32_t TrailerLength = 0;   // filler + checksum
  uint32_t FillerLength = 0;
  uint32_t Checksum = 0;        // 16-bit value
  uint32_t ChecksumWidth = 0;   // bytes
};

// Sum of the little-endian 16-bit words modulo 65,536; an odd last byte
// counts as the low byte of a word whose high byte is 0.
uint16_t Ch10Checksum16(const uint8_t* bytes, size_t length);

// Copies length bytes from source to destination and returns
// Ch10Checksum16(source, length), in one pass over the bytes. The two
// ranges must not overlap; either pointer may have any alignment and the
// length may be odd (the last byte then counts as a low byte, as above).
// Sums of pieces of even length add up modulo 65,536 to the sum of the
// whole, so a body can be copied and summed piece by piece.
uint16_t Ch10CopyAndChecksum16(uint8_t* destination, const uint8_t* source, size_t length);

// Fills every header field and its byte image; the header checksum is
// computed last, over the finished first 22 bytes. Only the low 48 bits of
// relative_time_counter are used.
void BuildCh10Header(ch10headerstruct& header, uint16_t channel_id, uint32_t packet_length,
                     uint64_t relative_time_counter, uint8_t data_type, uint8_t packet_flags,
                     uint8_t sequence_number, uint32_t data_length);

// The trailer for a body of data_length bytes: the body checksum and the
// filler that makes 24 + data_length + filler + 2 a multiple of 4.
ch10trailerstruct FillDataChecksum(const uint8_t* body, uint32_t data_length);

// The same for a body whose checksum is already summed (a body written in
// pieces: the 16-bit sums of pieces of even length add up modulo 65,536).
ch10trailerstruct TrailerForChecksum(uint16_t checksum, uint32_t data_length);

// Writes the filler (zeros) and the checksum at trailer_at.
void PlaceTrailer(uint8_t* trailer_at, const ch10trailerstruct& trailer);

// Whole 100 ns ticks in the seconds, modulo 2^48. Negative or non-finite
// seconds give 0.
uint64_t SecondsToRtc(double seconds);

// Writes the 24 header bytes, then PacketLength - 24 bytes (body and
// trailer) from body_and_trailer: two write calls. Returns 0 when every byte
// was written, otherwise the error number (EIO when a short write left none).
int WriteCh10Packet(PlatformFile& file, const ch10headerstruct& header,
                    const uint8_t* body_and_trailer);
