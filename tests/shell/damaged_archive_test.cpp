// Archives from the field: damaged frame time stamps, real gaps, archives
// cut short or without a whole block, setup files cut short, runs that end
// aborted, and archives whose names share a base. Each case runs the whole
// driver on a generated archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "pack/pack_converter.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "shell/shell_fixture.h"
#include "support/text_format.h"

namespace {

using shelltest::CountOf;
using shelltest::MakeArchive;
using shelltest::SmallSettings;
using shelltest::StartedLog;

constexpr int64_t kFrames = 320;  // 20 blocks of 16 frames, 1000 frames per second
constexpr int64_t kHour = 3600LL * 1000000;

// The log line holding `part`, with its CR LF.
std::string LineWith(const std::string& log, const std::string& part) {
  const size_t at = log.find(part);
  if (at == std::string::npos) return std::string();
  const size_t start = log.rfind('\n', at) + 1;
  return log.substr(start, log.find('\n', at) + 1 - start);
}

struct Conversion {
  StartedLog log;
  progoptionsclass options;
  std::function<void()> on_pump;
  conversiondriverclass driver{options, [this] {
                                 if (on_pump) on_pump();
                               }};
  ConversionOutcome outcome = ConversionOutcome::Refused;

  bool Convert(const std::string& name, const mkarchive::ArchiveSettings& settings) {
    const std::string path = MakeArchive(log.Dir().path(), name, settings);
    if (!driver.OpenArchive(path)) return false;
    outcome = driver.RunConversion();
    return true;
  }
  bool HasWarning(RunWarningKind kind) const {
    for (const runwarningstruct& w : driver.Warnings()) {
      if (w.kind == kind) return true;
    }
    return false;
  }
  std::string Notes() const { return testutil::ReadAllText(driver.NotesFileName()); }
};

// One damaged stamp, inside a block or on a block's last frame (judged by
// the first frame of the next block) or on the archive's first frame: no
// fill, every frame converted, one "kept in place" line and a warning.
TEST(DamagedArchive, OneDamagedStampFillsNothing) {
  struct Case {
    const char* name;
    int64_t frame;
    int64_t shift_us;            // a time shift of this one frame, or
    mkarchive::FrameHeaderFlip flip;  // a flipped BCD bit
    int code;                    // the frame's index in its block
  };
  const Case cases[] = {
      {"an hour late inside a block", 40, kHour, {}, 8},
      {"an hour late on a block's last frame", 47, kHour, {}, 15},
      {"6 s early", 47, -6000000, {}, 15},
      {"6 s early on a block's first frame", 48, -6000000, {}, 0},
      {"a repeated stamp", 47, -1000, {}, 15},
      {"day hundreds digit flipped", 40, 0, {40, 0, 0x02}, 8},
      {"day units digit flipped", 47, 0, {47, 1, 0x01}, 15},
      {"day tens digit flipped to a non-digit", 47, 0, {47, 1, 0xC0}, 15},
      {"first frame 100 days early", 0, 0, {0, 0, 0x01}, 0},
  };
  for (const Case& c : cases) {
    Conversion run;
    mkarchive::ArchiveSettings settings = SmallSettings(kFrames);
    if (c.shift_us != 0) settings.time_shifts = {{c.frame, c.shift_us, false}};
    if (c.flip.mask != 0) settings.header_flips = {c.flip};
    ASSERT_TRUE(run.Convert("DAMAGED.Ark", settings)) << c.name;
    const orloarkpackclass& pack = *run.driver.Pack();
    EXPECT_EQ(run.outcome, ConversionOutcome::Complete) << c.name;
    EXPECT_EQ(pack.MissedFrameCount(), 0.0) << c.name;
    EXPECT_EQ(pack.TotalFrameCount(), static_cast<double>(kFrames)) << c.name;
    EXPECT_EQ(pack.DamagedTimeCount(), 1.0) << c.name;
    EXPECT_TRUE(run.HasWarning(RunWarningKind::DamagedFrameTimes)) << c.name;
    const std::string log = run.log.LogText();
    const std::string code = c.code < 10 ? "00000" + std::to_string(c.code) : "0000" + std::to_string(c.code);
    const std::string block = FormatFixedNumber(12, 0, static_cast<double>(c.frame / 16 + 1));
    const std::string line = LineWith(log, "Ark File frame time out of step, kept in place      dT was ");
    EXPECT_EQ(line.substr(0, 8), code + "  ") << c.name << "\n" << log;
    EXPECT_NE(line.find("  ArkFramesToPackedBitFrames(), Ark File frame time out of step"), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - block.size() - 16), "ArkBlockCount " + block + "\r\n") << line;
    EXPECT_EQ(CountOf(log, "Filled with 0xAAAA frame"), 0) << c.name << "\n" << log;
    EXPECT_NE(run.Notes().find(std::string(kNotesWarningPrefix) + "1 frame time stamp was out of step"),
              std::string::npos)
        << c.name;
  }
}

// Real gaps are still filled frame for frame, also when every other frame
// is lost, and a clock that really jumps is followed.
TEST(DamagedArchive, RealGapsAreStillFilled) {
  struct Case {
    const char* name;
    std::vector<mkarchive::FrameGap> gaps;
    std::vector<mkarchive::FrameTimeShift> shifts;
    double fill;
  };
  std::vector<mkarchive::FrameGap> every_other;
  for (int64_t f = 101; f < 200; f += 2) every_other.push_back({f, 1});
  const Case cases[] = {
      {"a gap of 5 frames", {{100, 5}}, {}, 5},
      {"a gap across a block boundary", {{46, 3}}, {}, 3},
      {"every other frame lost", every_other, {}, 50},
      {"a clock jump of 50 ms that stays", {}, {{200, 50000, true}}, 50},
      // Confirmed by the frames after it, whatever the archive's span says.
      {"a clock that steps an hour back and stays", {}, {{200, -kHour, true}}, 0},
      {"a clock that steps 100 days back and stays", {}, {{200, -2400 * kHour, true}}, 0},
  };
  for (const Case& c : cases) {
    Conversion run;
    mkarchive::ArchiveSettings settings = SmallSettings(kFrames);
    settings.gaps = c.gaps;
    settings.time_shifts = c.shifts;
    ASSERT_TRUE(run.Convert("GAPS.Ark", settings)) << c.name;
    const orloarkpackclass& pack = *run.driver.Pack();
    EXPECT_EQ(pack.MissedFrameCount(), c.fill) << c.name;
    EXPECT_EQ(pack.ValidFrameCount(), static_cast<double>(kFrames)) << c.name;
    EXPECT_EQ(pack.DamagedTimeCount(), 0.0) << c.name;
    EXPECT_TRUE(run.driver.Warnings().empty()) << c.name;
  }
}

// The archive's last frame has no successor: only the archive's span (stop
// - start + one block) bounds what its step may fill, and the frames of
// the whole stream. Here the span (304 ms + one block of 16 ms) holds 321
// frames, so one fill frame is left beside the 320 archive frames.
TEST(DamagedArchive, LastFrameStepIsBoundedByTheArchive) {
  struct Case {
    const char* name;
    int64_t shift_us;
    double fill;
    double damaged;
  };
  const Case cases[] = {
      {"an hour late: beyond the span", kHour, 0, 1},
      {"a gap of one frame", 1000, 1, 0},
      {"a gap within the span, cut to the budget", 10000, 1, 0},
      {"a gap of almost the whole span, cut to the budget", 318000, 1, 0},
      {"a gap just beyond the span", 321000, 0, 1},
  };
  for (const Case& c : cases) {
    Conversion run;
    mkarchive::ArchiveSettings settings = SmallSettings(kFrames);
    settings.time_shifts = {{kFrames - 1, c.shift_us, false}};
    ASSERT_TRUE(run.Convert("LAST.Ark", settings)) << c.name;
    EXPECT_EQ(run.driver.Pack()->MissedFrameCount(), c.fill) << c.name;
    EXPECT_EQ(run.driver.Pack()->DamagedTimeCount(), c.damaged) << c.name;
  }
}

// Outcomes: an archive cut inside its last block converts the whole blocks
// and says what was left; one without a whole block is refused; aborted
// and failed runs end their notes and log with the reason.
TEST(DamagedArchive, CutLastBlockConvertsTheWholeBlocksWithAWarning) {
  Conversion run;
  mkarchive::ArchiveSettings settings = SmallSettings(kFrames);
  settings.cut_tail_bytes = 100;
  ASSERT_TRUE(run.Convert("CUT.Ark", settings));
  EXPECT_EQ(run.outcome, ConversionOutcome::Complete);
  EXPECT_EQ(run.driver.Pack()->ValidFrameCount(), static_cast<double>(kFrames - 16));
  EXPECT_EQ(run.driver.Pack()->MissedFrameCount(), 0.0);
  ASSERT_EQ(run.driver.Warnings().size(), 1u);
  const int64_t left = mkarchive::ComputeLayout(settings).block_size - 100;
  const std::string text = "the archive ends inside its last block: " + std::to_string(left) +
                           " bytes after the last whole block were not converted";
  EXPECT_EQ(run.driver.Warnings()[0].kind, RunWarningKind::CutLastBlock);
  EXPECT_EQ(run.driver.Warnings()[0].text, text);
  EXPECT_NE(run.Notes().find(std::string(kNotesWarningPrefix) + text + "\r\n"), std::string::npos);
  EXPECT_NE(run.log.LogText().find("Ark File Ends Inside A Block, " + std::to_string(left) +
                                   " Bytes After The Last Whole Block Not Converted"),
            std::string::npos);
}

TEST(DamagedArchive, NoWholeBlockIsRefused) {
  for (int64_t cut : {int64_t{0}, int64_t{5}, int64_t{mkarchive::ComputeLayout(SmallSettings(16)).block_size} - 1}) {
    Conversion run;
    mkarchive::ArchiveSettings settings = SmallSettings(16);
    settings.cut_tail_bytes = mkarchive::ComputeLayout(settings).block_size - cut;
    EXPECT_FALSE(run.Convert("EMPTY.Ark", settings)) << cut;
    EXPECT_FALSE(run.driver.Ready());
    EXPECT_EQ(run.driver.RefusalReason().rfind("no whole frame block: " + std::to_string(cut) + " bytes follow", 0),
              0u)
        << run.driver.RefusalReason();
    EXPECT_NE(run.log.LogText().find("Archive File Holds No Whole Frame Block, Nothing To Convert"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(run.log.File("Ch10Conversion")));
  }
}

TEST(DamagedArchive, AbortedAndFailedRunsSaySoInNotesAndLog) {
  struct Case {
    const char* name;
    bool operator_abort;
    const char* notes_line;
    std::string log_line;
  };
  const Case cases[] = {
      {"Ctrl-C", true, kNotesOperatorAbortText, kLogOperatorAbortText},
      {"disk full", false, kNotesOutputFailedText, kLogOutputFailedText + SystemErrorText(ENOSPC)},
  };
  for (const Case& c : cases) {
    Conversion run;
    if (c.operator_abort) {
      run.on_pump = [&] { run.driver.RequestAbort(); };
    } else {
      SetFileWriteFault(".ch10", 20000, ENOSPC);
    }
    ASSERT_TRUE(run.Convert("STOP.Ark", SmallSettings(16 * 300))) << c.name;
    EXPECT_EQ(run.outcome, ConversionOutcome::Aborted) << c.name;
    // The notes are kept beside the previous outputs and say where.
    const outputnamesstruct& kept = run.driver.KeptOutputs();
    EXPECT_FALSE(FileExists(run.driver.NotesFileName())) << c.name;
    const std::string notes = testutil::ReadAllText(kept.NotesFile);
    const std::string last = std::string(c.notes_line) + "\r\n" + kKeptPartialPrefix +
                             kept.Ch10File + " and " + kept.NotesFile + kKeptPartialSuffix +
                             run.driver.Ch10FileName() + " and " + run.driver.NotesFileName() +
                             "\r\n\r\n";
    ASSERT_GE(notes.size(), last.size());
    EXPECT_EQ(notes.substr(notes.size() - last.size()), last) << c.name;
    const std::string log = run.log.LogText();
    const size_t warning = log.find(c.log_line);
    EXPECT_NE(warning, std::string::npos) << c.name << "\n" << log;
    EXPECT_LT(warning, log.find("END ARK TO CH10 CONVERSION")) << c.name;
    EXPECT_FALSE(FileExists(run.driver.PackFileName())) << c.name;
    ClearFileWriteFault();
  }
}

// A setup file cut inside the word table is not used: the prompts answer
// and the run says why.
TEST(DamagedArchive, SetupFileCutInsideTheWordTableIsReported) {
  Conversion run;
  mkarchive::ArchiveSettings settings = SmallSettings(kFrames);
  settings.common_word_length = 12;
  settings.sync_bits = 24;
  settings.sync_pattern = 0xFAF320;
  settings.setup_file.record_bytes = 220 + 16 * 8;  // 8 of the 16 words
  ASSERT_TRUE(run.Convert("SHORTSETUP.Ark", settings));
  EXPECT_EQ(run.outcome, ConversionOutcome::Complete);
  EXPECT_TRUE(run.HasWarning(RunWarningKind::UnusedSetupFile));
  EXPECT_EQ(run.driver.Archive()->Header().CommonWordLength, 16);  // the prompt's default
  EXPECT_NE(run.log.LogText().find("Decom Setup File Not Used, "), std::string::npos);
  EXPECT_NE(run.Notes().find("it is cut short: its record holds 348 bytes, 476 are needed for 16 words"),
            std::string::npos);
}

TEST(DamagedArchive, ArchivesSharingABaseNameKeepTheirOwnOutputs) {
  Conversion run;
  mkarchive::ArchiveSettings third = SmallSettings(64), fourth = SmallSettings(128);
  fourth.seed = 2;
  ASSERT_TRUE(run.Convert("T12.run3.Ark", third));
  const std::string ch10_third = run.driver.Ch10FileName();
  const std::string bytes_third = testutil::ReadAllText(ch10_third);
  ASSERT_TRUE(run.Convert("T12.run4.Ark", fourth));
  EXPECT_EQ(run.driver.Ch10FileName(), run.log.File("Ch10Conversion") + "/T12.run4.ch10");
  EXPECT_EQ(ch10_third, run.log.File("Ch10Conversion") + "/T12.run3.ch10");
  EXPECT_EQ(testutil::ReadAllText(ch10_third), bytes_third);  // untouched by the second conversion
  EXPECT_TRUE(FileExists(run.log.File("Ch10Conversion") + "/T12.run3.CvtNotes"));
  EXPECT_TRUE(FileExists(run.log.File("Ch10Conversion") + "/T12.run4.CvtNotes"));
}

}  // namespace
