// An independent throughput-mode PCM decoder driven only by the TMATS of a
// converted file: it finds the MF5 sync pattern in the PCM data, cuts
// frames of MF2 bits and reads each as the sync (MF4 bits) plus MF1 - 1
// words of F1 bits. Every word must be the archive's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

struct TmatsFrameLayout {
  std::string sync;  // MF5, padded with leading zeros to MF4 digits
  int64_t sync_bits = 0;
  int64_t frame_bits = 0;
  int64_t words_in_frame = 0;  // MF1: the sync counts as one word
  int64_t word_bits = 0;
};

TmatsFrameLayout ReadLayout(const std::string& tmats) {
  TmatsFrameLayout l;
  l.sync_bits = std::stoll(e2e::TmatsValue(tmats, "P-1\\MF4"));
  l.frame_bits = std::stoll(e2e::TmatsValue(tmats, "P-1\\MF2"));
  l.words_in_frame = std::stoll(e2e::TmatsValue(tmats, "P-1\\MF1"));
  l.word_bits = std::stoll(e2e::TmatsValue(tmats, "P-1\\F1"));
  l.sync = e2e::TmatsValue(tmats, "P-1\\MF5");
  // MF5 drops the pattern's leading zeros; put them back to MF4 bits.
  const int64_t missing = l.sync_bits - static_cast<int64_t>(l.sync.size());
  if (missing > 0) l.sync = std::string(static_cast<size_t>(missing), '0') + l.sync;
  return l;
}

bool SyncAt(const e2e::PcmBits& bits, size_t at, const std::string& sync) {
  if (at + sync.size() > bits.Size()) return false;
  for (size_t k = 0; k < sync.size(); ++k) {
    if (bits.Bit(at + k) != sync[k] - '0') return false;
  }
  return true;
}

// Converts the archive and decodes it as a Chapter 10 reader would.
void DecodeFromTmats(mkarchive::ArchiveSettings settings, int64_t expected_mf1) {
  testutil::TempDir dir;
  settings.setup_file.write = true;
  std::string error;
  ASSERT_TRUE(mkarchive::WriteArchive(dir.File("D.Ark"), settings, &error)) << error;
  e2e::CliRun run = e2e::RunConverter(dir.path(), "--quiet D.Ark");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  std::vector<testutil::Ch10Packet> packets;
  ASSERT_TRUE(testutil::ReadCh10File(dir.File("Ch10Conversion/D.ch10"), packets, error)) << error;

  const TmatsFrameLayout layout = ReadLayout(packets.at(0).PayloadText());
  ASSERT_EQ(layout.words_in_frame, expected_mf1);
  ASSERT_EQ(layout.word_bits, settings.common_word_length);
  // Sync plus MF1 - 1 words of F1 bits fill the frame exactly.
  ASSERT_EQ(layout.sync_bits + (layout.words_in_frame - 1) * layout.word_bits, layout.frame_bits);

  const std::vector<uint8_t> payload = testutil::ConcatenatePcmPayloads(packets);
  const e2e::PcmBits bits(payload);
  size_t start = 0;
  while (start < bits.Size() && !SyncAt(bits, start, layout.sync)) ++start;
  ASSERT_LT(start, bits.Size()) << "sync pattern " << layout.sync << " not found";
  // The stream starts with the archive's first frame.
  EXPECT_EQ(start, 0u);

  const std::vector<mkarchive::FrameRecord> frames = mkarchive::ExpectedFrames(settings);
  const int64_t sync_words = layout.sync_bits / layout.word_bits;
  size_t decoded = 0;
  for (size_t at = start; at + layout.frame_bits <= bits.Size(); at += layout.frame_bits) {
    if (decoded == frames.size()) break;
    ASSERT_TRUE(SyncAt(bits, at, layout.sync)) << "frame " << decoded;
    const mkarchive::FrameRecord& frame = frames[decoded];
    size_t bit = at + layout.sync_bits;
    for (int64_t w = 0; w < layout.words_in_frame - 1; ++w) {
      const uint32_t got = bits.Read(bit, static_cast<int32_t>(layout.word_bits));
      const uint32_t want =
          e2e::WordBits(frame.words[sync_words + w], static_cast<int32_t>(layout.word_bits),
                        mkarchive::WordLeftJustified(settings, static_cast<int32_t>(sync_words + w)));
      ASSERT_EQ(got, want) << "frame " << decoded << " word " << w;
      bit += layout.word_bits;
    }
    ++decoded;
  }
  EXPECT_EQ(decoded, frames.size());
}

TEST(TmatsDecoder, SixteenBitWordsWith32BitSync) {
  mkarchive::ArchiveSettings settings;
  settings.words_per_frame = 256;
  settings.common_word_length = 16;
  settings.frames_per_block = 16;
  settings.frame_count = 1500;
  DecodeFromTmats(settings, 255);
}

TEST(TmatsDecoder, TwelveBitWordsWith24BitSync) {
  mkarchive::ArchiveSettings settings;
  settings.words_per_frame = 64;
  settings.common_word_length = 12;
  settings.sync_pattern = 0xFAF320;
  settings.sync_bits = 24;
  settings.frames_per_block = 4;
  settings.frame_count = 3000;
  DecodeFromTmats(settings, 63);
}

}  // namespace
