// Streamed Chapter 10 packet reading for the self-check.
#include "verify/ch10_packet_reader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kReadAheadBytes = 1 << 20;
constexpr uint32_t kHeaderBytes = 24;
constexpr uint16_t kSyncPattern = 0xEB25;
// No packet this program writes comes near this; a larger length is taken
// as a broken file rather than a reason to allocate.
constexpr uint32_t kLargestPacket = 64u << 20;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

uint16_t VerifyChecksum16(const uint8_t* bytes, size_t length) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 1 < length; i += 2) sum += Le16(bytes + i);
  if (i < length) sum += bytes[i];
  return static_cast<uint16_t>(sum & 0xFFFF);
}

bool ch10packetreaderclass::Open(const std::string& path) {
  position_ = 0;
  read_ahead_pos_ = read_ahead_len_ = 0;
  read_ahead_.resize(kReadAheadBytes);
  return file_.OpenRead(path);
}

size_t ch10packetreaderclass::Take(uint8_t* into, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (read_ahead_pos_ == read_ahead_len_) {
      read_ahead_pos_ = 0;
      const int64_t got = file_.Read(read_ahead_.data(), static_cast<int64_t>(read_ahead_.size()));
      read_ahead_len_ = got > 0 ? static_cast<size_t>(got) : 0;
      if (read_ahead_len_ == 0) break;
    }
    const size_t k = std::min(n - done, read_ahead_len_ - read_ahead_pos_);
    std::memcpy(into + done, read_ahead_.data() + read_ahead_pos_, k);
    read_ahead_pos_ += k;
    done += k;
  }
  position_ += static_cast<int64_t>(done);
  return done;
}

ch10packetreaderclass::Step ch10packetreaderclass::Next(ch10packetviewstruct& packet,
                                                        std::string& problem) {
  packet = ch10packetviewstruct{};
  packet.Offset = position_;
  uint8_t h[kHeaderBytes];
  const size_t got = Take(h, kHeaderBytes);
  if (got == 0 && file_.LastError() == 0) return Step::End;
  if (got < kHeaderBytes) {
    problem = file_.LastError() != 0 ? "read error: " + SystemErrorText(file_.LastError())
                                     : "the file ends inside a packet header";
    return Step::Broken;
  }
  packet.Sync = Le16(h);
  packet.ChannelId = Le16(h + 2);
  packet.PacketLength = VerifyLe32(h + 4);
  packet.DataLength = VerifyLe32(h + 8);
  packet.DataTypeVersion = h[12];
  packet.SequenceNumber = h[13];
  packet.PacketFlags = h[14];
  packet.DataType = h[15];
  packet.RelativeTimeCounter =
      static_cast<uint64_t>(VerifyLe32(h + 16)) | (static_cast<uint64_t>(Le16(h + 20)) << 32);
  packet.HeaderChecksumGood = VerifyChecksum16(h, 22) == Le16(h + 22);
  if (packet.Sync != kSyncPattern) {
    problem = "no packet sync pattern 0xEB25";
    return Step::Broken;
  }
  if (!packet.HeaderChecksumGood) {
    // The lengths cannot be trusted either.
    problem = "packet header checksum does not match the header";
    return Step::Broken;
  }
  const uint64_t least = uint64_t{kHeaderBytes} + packet.DataLength + 2;
  if (packet.PacketLength < least || packet.PacketLength > least + 3 ||
      packet.PacketLength > kLargestPacket) {
    problem = "packet length " + std::to_string(packet.PacketLength) +
              " does not fit data length " + std::to_string(packet.DataLength);
    return Step::Broken;
  }
  const size_t rest = packet.PacketLength - kHeaderBytes;
  if (packet_.size() < rest) packet_.resize(rest);
  if (Take(packet_.data(), rest) < rest) {
    problem = file_.LastError() != 0 ? "read error: " + SystemErrorText(file_.LastError())
                                     : "the file ends inside the packet";
    return Step::Broken;
  }
  packet.Body = packet_.data();
  packet.FillerLength = static_cast<uint32_t>(rest - packet.DataLength - 2);
  packet.FillerZero = true;
  for (uint32_t i = 0; i < packet.FillerLength; ++i) {
    if (packet_[packet.DataLength + i] != 0) packet.FillerZero = false;
  }
  packet.DataChecksumGood =
      VerifyChecksum16(packet_.data(), packet.DataLength) == Le16(packet_.data() + rest - 2);
  return Step::Packet;
}
