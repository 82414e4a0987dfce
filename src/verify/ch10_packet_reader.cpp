// Streamed Chapter 10 packet reading for the self-check.
#include "verify/ch10_packet_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "support/platform_file.h"

namespace {

constexpr uint32_t kHeaderBytes = 24;
constexpr uint16_t kSyncPattern = 0xEB25;
// No packet this program writes comes near this; a larger length is taken
// as a broken file rather than a reason to allocate.
constexpr uint32_t kLargestPacket = 64u << 20;

}  // namespace

uint16_t VerifyChecksum16(const uint8_t* bytes, size_t length) {
  // Sixteen bytes at a time as four 32-bit lanes, each the sum of its two
  // 16-bit words; a lane gains at most 2 x 65,535 per step, so a run of
  // this many steps cannot carry out of it. The words are little-endian
  // whatever the processor: on a big-endian one they are summed one by one.
  using lanes = uint32_t __attribute__((vector_size(16)));
  constexpr size_t kStepsPerRun = 32768;
  uint64_t total = 0;
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    while (length - i >= 16) {
      lanes sum = {0, 0, 0, 0};
      for (size_t steps = std::min((length - i) / 16, kStepsPerRun); steps > 0; --steps, i += 16) {
        lanes v;
        std::memcpy(&v, bytes + i, 16);
        sum += (v & 0xFFFF) + (v >> 16);
      }
      total += static_cast<uint64_t>(sum[0]) + sum[1] + sum[2] + sum[3];
    }
  }
  for (; i + 1 < length; i += 2) total += VerifyLe16(bytes + i);
  if (i < length) total += bytes[i];
  return static_cast<uint16_t>(total & 0xFFFF);
}

bool ch10packetreaderclass::Open(const std::string& path) {
  return file_.Open(path);
}

const uint8_t* ch10packetreaderclass::Take(size_t n, size_t& got) {
  const uint8_t* bytes = file_.View(n, got);
  file_.Consume(got);
  return bytes;
}

ch10packetreaderclass::Step ch10packetreaderclass::Next(ch10packetviewstruct& packet,
                                                        std::string& problem) {
  packet = ch10packetviewstruct{};
  packet.Offset = file_.Position();
  size_t got = 0;
  const uint8_t* h = Take(kHeaderBytes, got);
  if (got == 0 && LastError() == 0) return Step::End;
  if (got < kHeaderBytes) {
    problem = LastError() != 0 ? "read error: " + SystemErrorText(LastError())
                                     : "the file ends inside a packet header";
    return Step::Broken;
  }
  packet.Sync = VerifyLe16(h);
  packet.ChannelId = VerifyLe16(h + 2);
  packet.PacketLength = VerifyLe32(h + 4);
  packet.DataLength = VerifyLe32(h + 8);
  packet.DataTypeVersion = h[12];
  packet.SequenceNumber = h[13];
  packet.PacketFlags = h[14];
  packet.DataType = h[15];
  packet.RelativeTimeCounter =
      static_cast<uint64_t>(VerifyLe32(h + 16)) | (static_cast<uint64_t>(VerifyLe16(h + 20)) << 32);
  packet.HeaderChecksumGood = VerifyChecksum16(h, 22) == VerifyLe16(h + 22);
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
  // The header's span is not used past here: taking the rest may move it.
  const size_t rest = packet.PacketLength - kHeaderBytes;
  const uint8_t* body = Take(rest, got);
  if (got < rest) {
    problem = LastError() != 0 ? "read error: " + SystemErrorText(LastError())
                                     : "the file ends inside the packet";
    return Step::Broken;
  }
  packet.Body = body;
  packet.FillerLength = static_cast<uint32_t>(rest - packet.DataLength - 2);
  packet.FillerZero = true;
  for (uint32_t i = 0; i < packet.FillerLength; ++i) {
    if (body[packet.DataLength + i] != 0) packet.FillerZero = false;
  }
  packet.DataChecksumGood =
      VerifyChecksum16(body, packet.DataLength) == VerifyLe16(body + rest - 2);
  return Step::Packet;
}

bool DecodeBcdDayTime(const uint8_t* words, double& seconds) {
  const unsigned w0 = words[0] | (words[1] << 8);
  const unsigned w1 = words[2] | (words[3] << 8);
  const unsigned w2 = words[4] | (words[5] << 8);
  const unsigned digits[] = {w0 & 0xF, (w0 >> 4) & 0xF, (w0 >> 8) & 0xF, (w0 >> 12) & 0x7,
                             w1 & 0xF, (w1 >> 4) & 0x7, (w1 >> 8) & 0xF, (w1 >> 12) & 0x3,
                             w2 & 0xF, (w2 >> 4) & 0xF, (w2 >> 8) & 0x3};
  for (unsigned d : digits) {
    if (d > 9) return false;
  }
  if ((w0 & 0x8000) != 0 || (w1 & 0xC080) != 0 || (w2 & 0xFC00) != 0) return false;
  const double ms = digits[1] * 100.0 + digits[0] * 10.0;
  const double s = digits[3] * 10.0 + digits[2];
  const double min = digits[5] * 10.0 + digits[4];
  const double h = digits[7] * 10.0 + digits[6];
  const double day = digits[10] * 100.0 + digits[9] * 10.0 + digits[8];
  seconds = day * 86400.0 + h * 3600.0 + min * 60.0 + s + ms / 1000.0;
  return true;
}
