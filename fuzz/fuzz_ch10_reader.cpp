// Both Chapter 10 readers on any byte string. The tests' reader parses it
// packet by packet, decodes every body as a time packet and joins it as PCM
// data, whatever its channel says. The shipped reader (what
// orlovarnel-verify reads a user's file with) reads it from a file until it
// ends or reports the file broken; each packet it delivers must end where
// the reader stands.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/ch10_file_reader.h"
#include "fuzz_support.h"
#include "verify/ch10_packet_reader.h"

namespace {

void ParseWithTestReader(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  std::vector<testutil::Ch10Packet> packets;
  std::string error;
  testutil::ParseCh10Packets(file, packets, error);
  for (const testutil::Ch10Packet& packet : packets) {
    testutil::Ch10DayTime time;
    if (testutil::DecodeCh10TimeBody(packet.body, time)) time.DayOfYearSeconds();
    packet.Payload();
    packet.ChecksumsGood();
  }
  testutil::ConcatenatePcmPayloads(packets);
}

void ReadWithShippedReader(const uint8_t* data, size_t size) {
  static const std::string path = fuzzsupport::ScratchFile("input.ch10");
  // One reader for every input, as a reader opened again starts afresh:
  // its read buffer is then made once, not per input.
  static ch10packetreaderclass reader;
  fuzzsupport::WriteWholeFile(path, data, size);
  if (!reader.Open(path)) std::abort();  // the scratch file is the harness's
  ch10packetviewstruct packet;
  std::string problem;
  while (reader.Next(packet, problem) == ch10packetreaderclass::Step::Packet) {
    if (reader.Position() != packet.Offset + static_cast<int64_t>(packet.PacketLength) ||
        reader.Position() > static_cast<int64_t>(size)) {
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ParseWithTestReader(data, size);
  ReadWithShippedReader(data, size);
  return 0;
}
