// packetbatchwriterclass: a write cut short anywhere in a batch names the
// last packet wholly in the file; a gathering packet keeps its bytes while
// packets are placed before it and the batch goes out.
#include "ch10/packet_batch_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "common/test_helpers.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace {

TEST(PacketBatchWriter, ShortWriteNamesTheLastWholePacket) {
  std::vector<std::string> boxes;
  SetMessageBoxHook(
      [&boxes](const std::string&, const std::string& text) { boxes.push_back(text); });
  testutil::BeepRecorder beeps;
  testutil::TempDir dir;
  const size_t sizes[] = {28, 92, 12, 40, 92};
  constexpr size_t kPackets = std::size(sizes);
  std::vector<uint8_t> stream;
  std::vector<size_t> ends;
  for (size_t i = 0; i < kPackets; ++i) {
    stream.insert(stream.end(), sizes[i], static_cast<uint8_t>(0x11 * (i + 1)));
    ends.push_back(stream.size());
  }
  // Nothing written, one byte short of each packet's end, and right at it.
  std::vector<size_t> cuts = {0};
  for (size_t end : ends) cuts.insert(cuts.end(), {end - 1, end});

  for (const size_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    boxes.clear();
    const std::string out = dir.FreshFile("batch.ch10");
    packetbatchwriterclass writer(out, 1 << 16, kPackets, 256);
    ASSERT_TRUE(writer.Create(out));
    // Six gathered bytes, 4 bytes into their packet, behind the waiting ones.
    writer.SetGatherLayout(4, 64);
    std::memset(writer.GatherPlace(6), 0xEE, 6);
    writer.AddGathered(6);
    for (size_t i = 0; i < kPackets; ++i) {
      uint8_t* place = writer.Place(sizes[i]);
      ASSERT_NE(place, nullptr);
      std::memset(place, 0x11 * (i + 1), sizes[i]);
      writer.Append(sizes[i]);
      EXPECT_EQ(writer.BatchDue(), i + 1 == kPackets);  // bounded by packets here
    }
    SetFileWriteFault("batch.ch10", static_cast<int64_t>(cut), ENOSPC);
    size_t whole = 0;
    while (whole < kPackets && ends[whole] <= cut) ++whole;
    EXPECT_EQ(writer.WriteWaiting(), whole);
    ClearFileWriteFault();
    EXPECT_EQ(writer.WaitingPackets(), 0u);
    std::vector<uint8_t> expected(stream.begin(),
                                  stream.begin() + static_cast<std::ptrdiff_t>(cut));
    if (cut < stream.size()) {
      EXPECT_TRUE(writer.Failed());
      EXPECT_EQ(writer.Error(), ENOSPC);
      EXPECT_EQ(writer.Place(8), nullptr);  // nothing more after a failure
    } else {
      // The gathered bytes moved to the front with the rest and are framed
      // where the next packet goes.
      EXPECT_FALSE(writer.Failed());
      writer.EndGathering();
      uint8_t* place = writer.Place(12);
      ASSERT_NE(place, nullptr);
      EXPECT_EQ(std::vector<uint8_t>(place + 4, place + 10), std::vector<uint8_t>(6, 0xEE));
      std::memset(place, 0x77, 4);
      std::memset(place + 10, 0x77, 2);
      writer.Append(12);
      expected.insert(expected.end(),
                      {0x77, 0x77, 0x77, 0x77, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0x77, 0x77});
    }
    writer.Close();
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(testutil::ReadAllBytes(out), expected);
    // One report per failed file, naming it and the cause.
    ASSERT_EQ(boxes.size(), cut < stream.size() ? 1u : 0u);
    if (!boxes.empty()) {
      EXPECT_EQ(boxes[0], "Unable to write Ch10 file " + out + " : " + SystemErrorText(ENOSPC));
    }
  }
  EXPECT_EQ(beeps.Count(BeepKind::Error), static_cast<int>(cuts.size()) - 1);
  SetMessageBoxHook(nullptr);
}

}  // namespace
