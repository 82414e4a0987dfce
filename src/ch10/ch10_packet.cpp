// Chapter 10 packet framing, shared by the TMATS, time and PCM packet
// writers of the Chapter 10 converter.
#include "ch10/ch10_packet.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "support/platform_file.h"

namespace {

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// The bulk of a sum: 16 bytes at a time in eight 16-bit lanes (one vector
// add once compiled), each block also stored at `destination` when kCopy.
// Addition modulo 65,536 does not care about order, so lanes that wrap on
// their own give the same sum. On a little-endian host the copied words
// read as the packet holds them; memcpy allows bytes at any address.
// Returns the lanes' total; `done` is set to the bytes taken (a multiple of
// 16; none on a big-endian host).
template <bool kCopy>
uint32_t SumWholeBlocks(uint8_t* destination, const uint8_t* source, size_t length, size_t& done) {
  uint32_t sum = 0;
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    uint16_t lanes[8] = {};
    for (; i + 16 <= length; i += 16) {
      uint16_t words[8];
      std::memcpy(words, source + i, sizeof words);
      if constexpr (kCopy) std::memcpy(destination + i, words, sizeof words);
      for (int k = 0; k < 8; ++k) lanes[k] = static_cast<uint16_t>(lanes[k] + words[k]);
    }
    for (const uint16_t lane : lanes) sum += lane;
  }
  done = i;
  return sum;
}

}  // namespace

uint16_t Ch10Checksum16(const uint8_t* bytes, size_t length) {
  // Unsigned 32-bit arithmetic wraps modulo 2^32, a multiple of 65,536, so
  // the low 16 bits of the running sum are the checksum whatever the length.
  // Every byte of the Chapter 10 file goes through this sum, hence the wide
  // lanes for the bulk.
  size_t i = 0;
  uint32_t sum = SumWholeBlocks<false>(nullptr, bytes, length, i);
  // The rest (everything on a big-endian host), word by word: byte i low,
  // byte i + 1 high, an odd last byte as the low byte of a word.
  for (; i + 1 < length; i += 2) {
    sum += static_cast<uint32_t>(bytes[i]) | (static_cast<uint32_t>(bytes[i + 1]) << 8);
  }
  if (i < length) sum += bytes[i];
  return static_cast<uint16_t>(sum);
}

uint16_t Ch10CopyAndChecksum16(uint8_t* destination, const uint8_t* source, size_t length) {
  // PCM data goes from the stream straight into the output buffer: each
  // 16-byte block is loaded once, stored and added.
  size_t i = 0;
  uint32_t sum = SumWholeBlocks<true>(destination, source, length, i);
  // The rest is short (everything on a big-endian host): copy it, then sum
  // it where i starts on a word, as Ch10Checksum16 does.
  if (i < length) {
    std::memcpy(destination + i, source + i, length - i);
    sum += Ch10Checksum16(source + i, length - i);
  }
  return static_cast<uint16_t>(sum);
}

void BuildCh10Header(ch10headerstruct& header, uint16_t channel_id, uint32_t packet_length,
                     uint64_t relative_time_counter, uint8_t data_type, uint8_t packet_flags,
                     uint8_t sequence_number, uint32_t data_length) {
  const uint64_t rtc = relative_time_counter & kRtcMask;
  header.SyncPattern = kCh10SyncPattern;
  header.ChannelId = channel_id;
  header.PacketLength = packet_length;
  header.DataLength = data_length;
  header.DataTypeVersion = kCh10DataTypeVersion;
  header.SequenceNumber = sequence_number;
  header.PacketFlags = packet_flags;
  header.DataType = data_type;
  header.RtcLow = static_cast<uint32_t>(rtc);
  header.RtcHigh = static_cast<uint16_t>(rtc >> 32);

  uint8_t* b = header.Bytes;
  PutLe16(b + 0, header.SyncPattern);
  PutLe16(b + 2, header.ChannelId);
  PutLe32(b + 4, header.PacketLength);
  PutLe32(b + 8, header.DataLength);
  b[12] = header.DataTypeVersion;
  b[13] = header.SequenceNumber;
  b[14] = header.PacketFlags;
  b[15] = header.DataType;
  PutLe32(b + 16, header.RtcLow);
  PutLe16(b + 20, header.RtcHigh);
  header.HeaderChecksum = Ch10Checksum16(b, 22);
  PutLe16(b + 22, header.HeaderChecksum);
}

ch10trailerstruct FillDataChecksum(const uint8_t* body, uint32_t data_length) {
  return TrailerForChecksum(Ch10Checksum16(body, data_length), data_length);
}

ch10trailerstruct TrailerForChecksum(uint16_t checksum, uint32_t data_length) {
  ch10trailerstruct trailer;
  trailer.Checksum = checksum;
  trailer.ChecksumWidth = kCh10ChecksumBytes;
  // The header is 24 bytes, so the filler only has to align body + checksum.
  trailer.FillerLength = (4 - (data_length + kCh10ChecksumBytes) % 4) % 4;
  trailer.TrailerLength = trailer.FillerLength + trailer.ChecksumWidth;
  return trailer;
}

void PlaceTrailer(uint8_t* trailer_at, const ch10trailerstruct& trailer) {
  std::memset(trailer_at, 0, trailer.FillerLength);
  PutLe16(trailer_at + trailer.FillerLength, static_cast<uint16_t>(trailer.Checksum));
}

uint64_t SecondsToRtc(double seconds) {
  if (!(seconds > 0.0) || !std::isfinite(seconds)) return 0;
  const double ticks = std::floor(seconds * kRtcTicksPerSecond);
  // Doubles of 2^53 and more are whole numbers; reduce them before the cast
  // so that no value can overflow the 64-bit integer.
  const double wrapped = std::fmod(ticks, 281474976710656.0);  // 2^48
  return static_cast<uint64_t>(wrapped) & kRtcMask;
}

namespace {

// The error number of a failed or short write; EIO when the system gave none.
int WriteFailure(const PlatformFile& file) {
  return file.LastError() != 0 ? file.LastError() : EIO;
}

}  // namespace

int WriteCh10Packet(PlatformFile& file, const ch10headerstruct& header,
                    const uint8_t* body_and_trailer) {
  const int64_t rest = static_cast<int64_t>(header.PacketLength) - kCh10HeaderBytes;
  if (file.Write(header.Bytes, kCh10HeaderBytes) != kCh10HeaderBytes) return WriteFailure(file);
  if (rest > 0 && file.Write(body_and_trailer, rest) != rest) return WriteFailure(file);
  return 0;
}
