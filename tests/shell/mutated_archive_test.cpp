// Many mutated archives, as bit errors, cut copies and damaged setup files
// make them: every one converts, and none writes more frames than its time
// span holds. A single damaged stamp away from the archive's ends fills
// nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "pack/pack_converter.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "shell/shell_fixture.h"

namespace {

using shelltest::SmallSettings;
using shelltest::StartedLog;

constexpr int64_t kArchiveFrames = 320;  // 20 blocks of 16 frames at 1000 frames per second
constexpr int kArchives = 300;

struct Mutation {
  mkarchive::ArchiveSettings settings = SmallSettings(kArchiveFrames);
  std::vector<int64_t> damaged_frames;
  std::string text;
};

// One to three damaged stamps (shifted or with a flipped BCD bit), at least
// three frames apart; sometimes also a cut tail or a setup file cut short.
Mutation Mutate(std::mt19937& rng) {
  static const int64_t kShifts[] = {1000, -1000, 3000, -3000, 6000000, -6000000, 3600000000LL,
                                    -3600000000LL, 86400000000LL * 100, -86400000000LL * 30};
  Mutation m;
  const int stamps = 1 + static_cast<int>(rng() % 3);
  while (static_cast<int>(m.damaged_frames.size()) < stamps) {
    const int64_t frame = static_cast<int64_t>(rng() % kArchiveFrames);
    bool near = false;
    for (int64_t f : m.damaged_frames) near = near || std::llabs(f - frame) < 3;
    if (near) continue;
    m.damaged_frames.push_back(frame);
    if (rng() % 2) {
      const int64_t shift = kShifts[rng() % std::size(kShifts)];
      m.settings.time_shifts.push_back({frame, shift, false});
      m.text += " shift " + std::to_string(frame) + " by " + std::to_string(shift) + " us;";
    } else {
      const mkarchive::FrameHeaderFlip flip{frame, static_cast<int32_t>(rng() % 8),
                                            static_cast<uint8_t>(1u << (rng() % 8))};
      m.settings.header_flips.push_back(flip);
      m.text += " flip frame " + std::to_string(frame) + " byte " + std::to_string(flip.byte) + " mask " +
                std::to_string(flip.mask) + ";";
    }
  }
  if (rng() % 4 == 0) {
    m.settings.cut_tail_bytes = 1 + static_cast<int64_t>(rng() % 1000);
    m.text += " cut " + std::to_string(m.settings.cut_tail_bytes) + " bytes;";
  }
  if (rng() % 4 == 0) {
    m.settings.setup_file.record_bytes = static_cast<int64_t>(rng() % (220 + 16 * 16));
    m.text += " setup file of " + std::to_string(m.settings.setup_file.record_bytes) + " record bytes;";
  }
  return m;
}

TEST(MutatedArchives, ConvertWithinTheirTimeSpan) {
  StartedLog log;
  progoptionsclass options;
  conversiondriverclass driver(options, nullptr);
  std::mt19937 rng(20261208);
  int without_fill = 0;
  for (int i = 0; i < kArchives; ++i) {
    const Mutation m = Mutate(rng);
    // Built in steps: GCC 12 at -O3 warns falsely (-Wrestrict) on "M" + ... + ".Ark".
    std::string name = "M";
    name += std::to_string(i);
    name += ".Ark";
    const std::string path = shelltest::MakeArchive(log.Dir().path(), name, m.settings);
    ASSERT_TRUE(driver.OpenArchive(path)) << m.text;
    ASSERT_EQ(driver.RunConversion(), ConversionOutcome::Complete) << m.text;
    const orloarkpackclass& pack = *driver.Pack();
    const arkheaderstruct& h = driver.Archive()->Header();

    // The archive's frames are all converted, whole blocks only.
    const mkarchive::ArchiveLayout layout = mkarchive::ComputeLayout(m.settings);
    const int64_t whole_blocks = (layout.file_bytes - layout.header_bytes) / layout.block_size;
    const int64_t frames = std::min(kArchiveFrames, whole_blocks * 16);
    EXPECT_EQ(pack.ValidFrameCount(), static_cast<double>(frames)) << m.text;

    // No step fills more than the archive's span (stop - start as the notes
    // show them, plus one block); unless the last frame is damaged (it has
    // no successor to be judged by), the whole stream fits that span, or
    // holds only the archive's own frames when a damaged first stamp made
    // the span too short.
    const double span_frames = (h.StopTime - h.StartTime + pack.BlockDuration()) / pack.FramePeriod() + 1.0;
    const bool last_damaged = std::count(m.damaged_frames.begin(), m.damaged_frames.end(), frames - 1) > 0;
    if (last_damaged) {
      EXPECT_LE(pack.MissedFrameCount(), pack.SpanLimit() / pack.FramePeriod() + 1.0) << m.text;
    } else {
      EXPECT_LE(pack.TotalFrameCount(), std::max(span_frames, static_cast<double>(frames))) << m.text;
    }
    // Damaged stamps away from the archive's ends are kept in place.
    const bool at_an_end = last_damaged ||
                           std::count(m.damaged_frames.begin(), m.damaged_frames.end(), int64_t{0}) > 0;
    if (!at_an_end) {
      EXPECT_EQ(pack.MissedFrameCount(), 0.0) << m.text;
      without_fill += 1;
    }
    std::filesystem::remove_all(log.File("Ch10Conversion"));
    std::filesystem::remove(path);
  }
  EXPECT_GT(without_fill, kArchives / 2);  // the stricter check ran for most archives
}

}  // namespace
