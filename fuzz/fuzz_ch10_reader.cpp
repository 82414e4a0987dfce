// The Chapter 10 reader (what orlovarnel-verify, and the tests, read a file
// with) on any byte string: it reads it from a file until it ends or
// reports the file broken; each packet it delivers must end where the
// reader stands, and every body decodes as a time packet whatever its
// channel says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "verify/ch10_packet_reader.h"

namespace {

void ReadWithShippedReader(const uint8_t* data, size_t size) {
  static fuzzsupport::inputfileclass input("input.ch10");
  // One reader for every input, as a reader opened again starts afresh:
  // its read buffer is then made once, not per input.
  static ch10packetreaderclass reader;
  input.Write(data, size);
  if (!reader.Open(input.Path())) std::abort();  // the scratch file is the harness's
  ch10packetviewstruct packet;
  std::string problem;
  while (reader.Next(packet, problem) == ch10packetreaderclass::Step::Packet) {
    if (reader.Position() != packet.Offset + static_cast<int64_t>(packet.PacketLength) ||
        reader.Position() > static_cast<int64_t>(size)) {
      std::abort();
    }
    double seconds = 0.0;
    if (packet.DataLength >= 10) DecodeBcdDayTime(packet.Body + 4, seconds);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadWithShippedReader(data, size);
  return 0;
}
