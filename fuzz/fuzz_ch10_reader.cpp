// The Chapter 10 reader the tests rely on: any byte string is parsed
// packet by packet, and every body is decoded as a time packet and joined
// as PCM data, whatever its channel says.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/ch10_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
  return 0;
}
