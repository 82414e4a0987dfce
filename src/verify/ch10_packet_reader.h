// A Chapter 10 file read back packet by packet, for the self-check of a
// written file. It decodes the header fields itself and sums the checksums
// with its own routine, so that a fault in the writer's framing code cannot
// hide behind the same code reading it back. The file is read in large
// pieces (buffered_file_reader) and a packet is looked at where it lies in
// them: memory stays bounded whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/buffered_file_reader.h"

// How the self-check reads its two files: pieces of 128 KiB, small enough
// to stay in the processor's cache while the bytes are checked, and the
// disk asked 16 MiB ahead. No read-ahead thread: the check reads each file
// on a thread of its own already.
inline constexpr bufferedreadersettingsstruct kVerifyReading = {128u << 10, 0, 16 << 20};

// One packet as it lies in the file.
struct ch10packetviewstruct {
  int64_t Offset = 0;             // of the sync pattern in the file
  uint16_t Sync = 0;
  uint16_t ChannelId = 0;
  uint32_t PacketLength = 0;
  uint32_t DataLength = 0;
  uint8_t DataTypeVersion = 0;
  uint8_t SequenceNumber = 0;
  uint8_t PacketFlags = 0;
  uint8_t DataType = 0;
  uint64_t RelativeTimeCounter = 0;  // 48 bits
  bool HeaderChecksumGood = false;
  bool DataChecksumGood = false;
  bool FillerZero = false;        // the bytes between body and checksum are 0
  uint32_t FillerLength = 0;
  // DataLength bytes, then the filler and the checksum; valid until the
  // next packet.
  const uint8_t* Body = nullptr;
};

class ch10packetreaderclass {
 public:
  // Opens the file (a reader opened again starts afresh at its first byte).
  bool Open(const std::string& path);
  int LastError() const { return file_.ReadError() != 0 ? file_.ReadError() : file_.File().LastError(); }

  enum class Step { Packet, End, Broken };
  // The next packet. Broken (with `problem`, the packet's offset in
  // packet.Offset) when what follows is not a whole packet: a short header,
  // no sync pattern, lengths that do not fit or run past the end of the
  // file, or a read error.
  Step Next(ch10packetviewstruct& packet, std::string& problem);
  int64_t Position() const { return file_.Position(); }

 private:
  // The next n bytes (fewer at the end of the file or after a failed
  // read), counted as read; valid until the next Take.
  const uint8_t* Take(size_t n, size_t& got);

  bufferedfilereaderclass file_{kVerifyReading};
};

// The little-endian 16- and 32-bit words at `bytes`: header fields,
// lengths, checksums and channel words.
inline uint16_t VerifyLe16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}
inline uint32_t VerifyLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// Sum of the little-endian 16-bit words modulo 65,536; an odd last byte
// counts as the low byte of a word whose high byte is 0. Summed sixteen
// bytes at a time.
uint16_t VerifyChecksum16(const uint8_t* bytes, size_t length);

// Day-of-year seconds (day 1, 00:00:00 is 86,400) of a time packet's three
// BCD words, the six bytes after its channel word; false when a digit is not
// decimal or a bit outside the fields is set.
bool DecodeBcdDayTime(const uint8_t* words, double& seconds);
