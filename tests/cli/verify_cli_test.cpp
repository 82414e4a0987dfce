// The self-check of written files: orlovarnel-verify and the converter's
// --verify pass on whole conversions of many archive shapes, with the frame
// and fill counts the archive calls for, and find damage that only their
// own reading can see (a payload bit with its checksum mended, a missing
// time packet), naming its byte offset.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "verify/ch10_packet_reader.h"

namespace {

// Converted and verified: 0, or 3 when the converter warned (time stamps
// out of step kept in place), which the check must accept all the same.
int ConvertedStatus(const e2e::CliRun& run) {
  return run.err.find(": warning: ") != std::string::npos ? 3 : 0;
}

std::string VerifiedText(const e2e::ExpectedStream& s, size_t packets) {
  return "verified: " + std::to_string(static_cast<int64_t>(s.valid)) + " frames, " +
         std::to_string(static_cast<int64_t>(s.missed)) + " fill frames, " +
         std::to_string(packets) + " packets\n";
}

struct Shape {
  const char* name;
  std::function<void(mkarchive::ArchiveSettings&)> edit;
  const char* options;
};

TEST(VerifyCli, PassesOnConvertedArchivesWithTheirFrameAndFillCounts) {
  const Shape shapes[] = {
      {"STEADY", [](mkarchive::ArchiveSettings&) {}, ""},
      {"GAPS",
       [](mkarchive::ArchiveSettings& s) {
         s.frame_count = 6000;
         s.gaps = {{500, 3}, {2000, 40}, {4100, 1}};
       },
       ""},
      {"TIMES",
       [](mkarchive::ArchiveSettings& s) {
         s.common_word_length = 12;
         s.sync_pattern = 0xFAF320;
         s.sync_bits = 24;
         s.frames_per_block = 8;
         s.frame_rate_hz = 2000.0;
         s.frame_count = 9000;
         s.time_shifts = {{1000, -500, false}, {3000, -2000, false}, {5000, 300, true}};
         s.gaps = {{6000, 1}};
       },
       ""},
      {"DAMAGED",  // a stamp out of step, kept in place
       [](mkarchive::ArchiveSettings& s) {
         s.time_shifts = {{2000, 7000, false}};
         s.gaps = {{1000, 4}};
       },
       ""},
      {"VARIABLE",
       [](mkarchive::ArchiveSettings& s) {
         s.words_per_frame = 20;
         s.word_lengths = {16, 16, 8, 12, 4, 16, 10, 1, 15, 3, 16, 9};
         s.left_justified = {0, 0, 1, 1, 0, 0, 1, 0, 1, 0, 0, 1};
         s.dirty_unused_bits = true;
         s.frames_per_block = 4;
         s.frame_rate_hz = 500.0;
         s.frame_count = 3001;
         s.gaps = {{10, 2}};
       },
       ""},
      // A day forward and back again, each step confirmed by the frames
      // after it: the day is not filled beyond what the span holds.
      {"JUMPCUT",
       [](mkarchive::ArchiveSettings& s) {
         s.time_shifts = {{1000, 86400LL * 1000000, true}, {1500, -86400LL * 1000000, true}};
       },
       ""},
      {"STEPSBACK",  // an hour back, and it stays
       [](mkarchive::ArchiveSettings& s) { s.time_shifts = {{700, -3600LL * 1000000, true}}; },
       ""},
      {"ONEPERBLOCK",
       [](mkarchive::ArchiveSettings& s) {
         s.frames_per_block = 1;
         s.frame_count = 777;
         s.gaps = {{5, 1000}};
         s.last_block = mkarchive::LastBlockFill::kCutShort;
       },
       ""},
      {"PROMPTED",
       [](mkarchive::ArchiveSettings& s) {
         s.common_word_length = 12;
         s.sfid_word = 4;
         s.frame_count = 4000;
         s.setup_file.write = false;
       },
       "--word-length 12 --sfid-msb 3"},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    testutil::TempDir dir;
    mkarchive::ArchiveSettings settings;
    settings.frame_count = 2500;
    settings.setup_file.write = true;
    shape.edit(settings);
    const std::string name = std::string(shape.name) + ".Ark";
    std::string error;
    ASSERT_TRUE(mkarchive::WriteArchive(dir.File(name), settings, &error)) << error;
    const e2e::ExpectedStream expected = e2e::BuildExpectedStream(settings);

    e2e::CliRun run =
        e2e::RunProgram(dir.path(), "orlovarnel-convert",
                        std::string("--quiet --verify ") + shape.options + " " + name);
    ASSERT_EQ(run.status, ConvertedStatus(run)) << run.out << run.err;
    std::vector<testutil::Ch10Packet> packets;
    const std::string ch10 = dir.File("Ch10Conversion/" + std::string(shape.name) + ".ch10");
    ASSERT_TRUE(testutil::ReadCh10File(ch10, packets, error)) << error;
    // The converter's own line, then the check's.
    EXPECT_NE(run.out.find(dir.File(name) + ": " + VerifiedText(expected, packets.size())),
              std::string::npos)
        << run.out;

    run = e2e::RunProgram(dir.path(), "orlovarnel-verify", std::string(shape.options) + " " + name);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, ch10 + ": " + VerifiedText(expected, packets.size()));
  }
}

// Breadth: random frame layouts, rates, block sizes, gaps and time faults;
// the converter and the check must agree on every one.
TEST(VerifyCli, AgreesWithTheConverterOnRandomArchives) {
  uint64_t state = 20261208;
  auto next = [&state](uint64_t n) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (state >> 33) % n;
  };
  testutil::TempDir dir;
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    mkarchive::ArchiveSettings s;
    s.setup_file.write = true;
    s.seed = round + 1;
    s.words_per_frame = static_cast<int32_t>(4 + next(60));
    s.sync_enabled = false;
    s.sfid_word = 0;
    for (int32_t w = 0; w < s.words_per_frame; ++w) {
      s.word_lengths.push_back(static_cast<int32_t>(1 + next(16)));
      s.left_justified.push_back(static_cast<uint8_t>(next(2)));
    }
    s.dirty_unused_bits = next(2) == 1;
    s.frames_per_block = static_cast<int32_t>(1 + next(32));
    s.frame_rate_hz = 100.0 * static_cast<double>(1 + next(40));
    s.frame_count = static_cast<int64_t>(200 + next(5000));
    for (uint64_t g = next(4); g > 0; --g) {
      s.gaps.push_back({static_cast<int64_t>(1 + next(s.frame_count - 1)),
                        static_cast<int64_t>(1 + next(30))});
    }
    if (next(2) == 1) s.time_shifts.push_back({static_cast<int64_t>(2 + next(100)), -300, false});
    const std::string name = "R" + std::to_string(round) + ".Ark";
    std::string error;
    ASSERT_TRUE(mkarchive::WriteArchive(dir.File(name), s, &error)) << error;
    const e2e::ExpectedStream expected = e2e::BuildExpectedStream(s);
    const e2e::CliRun run =
        e2e::RunProgram(dir.path(), "orlovarnel-convert", "--quiet --verify " + name);
    EXPECT_EQ(run.status, ConvertedStatus(run)) << run.out << run.err;
    const std::string verified = "verified: " + std::to_string(expected.archive_frames.size()) +
                                 " frames, " +
                                 std::to_string(static_cast<int64_t>(expected.missed)) +
                                 " fill frames, ";
    EXPECT_NE(run.out.find(verified), std::string::npos) << run.out;
  }
}

// A damaged stamp on the archive's very first frame is kept in place like
// any other; the check follows the converter there too.
TEST(VerifyCli, AcceptsADamagedFirstFrameStampKeptInPlace) {
  testutil::TempDir dir;
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 3000;
  settings.time_shifts = {{0, -100000000, false}};
  settings.setup_file.write = true;
  std::string error;
  ASSERT_TRUE(mkarchive::WriteArchive(dir.File("F.Ark"), settings, &error)) << error;
  const e2e::CliRun run =
      e2e::RunProgram(dir.path(), "orlovarnel-convert", "--quiet --verify F.Ark");
  EXPECT_EQ(run.status, 3) << run.out << run.err;
  EXPECT_NE(run.err.find("out of step and kept in place"), std::string::npos) << run.err;
  // frames 3008 (fill 0): the whole archive, no fill for the 100 s step.
  EXPECT_NE(run.out.find("Conversion Complete, frames 3008 (fill 0)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("verified: 3008 frames, 0 fill frames, "), std::string::npos) << run.out;
}

TEST(VerifyCli, PassesOnTheDemoArchive) {
  testutil::TempDir dir;
  for (const char* file : {"DEMO01.Ark", "DEMO01.B50"}) {
    const std::vector<uint8_t> bytes =
        testutil::ReadAllBytes(std::string(ORLO_SOURCE_DIR) + "/samples/" + file);
    testutil::WriteAllBytes(dir.File(file), bytes.data(), bytes.size());
  }
  e2e::CliRun run =
      e2e::RunProgram(dir.path(), "orlovarnel-convert", "--quiet --verify DEMO01.Ark");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("verified: 2512 frames, 5 fill frames, 30 packets\n"), std::string::npos)
      << run.out;
}

// One damage done to a good file: returns the byte offset the check must name.
struct Damage {
  const char* name;
  std::function<size_t(std::vector<uint8_t>& file, const std::vector<testutil::Ch10Packet>&)> apply;
};

// Flips one bit of byte `at` of a packet body and mends its data checksum,
// so that framing and checksums stay good.
void FlipBodyBitAndMendChecksum(std::vector<uint8_t>& file, const testutil::Ch10Packet& p,
                                size_t body_byte, int bit) {
  file[p.offset + 24 + body_byte] ^= static_cast<uint8_t>(1u << bit);
  const uint16_t sum = VerifyChecksum16(file.data() + p.offset + 24, p.data_length);
  file[p.offset + p.packet_length - 2] = static_cast<uint8_t>(sum & 0xFF);
  file[p.offset + p.packet_length - 1] = static_cast<uint8_t>(sum >> 8);
}

std::vector<size_t> PacketsOf(const std::vector<testutil::Ch10Packet>& packets, uint16_t channel) {
  std::vector<size_t> found;
  for (size_t i = 0; i < packets.size(); ++i) {
    if (packets[i].channel == channel) found.push_back(i);
  }
  return found;
}

size_t RemovePacket(std::vector<uint8_t>& file, const testutil::Ch10Packet& p) {
  file.erase(file.begin() + static_cast<std::ptrdiff_t>(p.offset),
             file.begin() + static_cast<std::ptrdiff_t>(p.offset + p.packet_length));
  return p.offset;
}

TEST(VerifyCli, NamesTheByteOffsetOfTheFirstDifference) {
  const Damage damages[] = {
      {"payload bit in a middle PCM packet",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         const testutil::Ch10Packet& p = ps[PacketsOf(ps, 2)[7]];
         FlipBodyBitAndMendChecksum(f, p, 4 + 1001, 3);
         return p.offset + 24 + 4 + 1001;
       }},
      {"first payload bit of the file",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         const testutil::Ch10Packet& p = ps[PacketsOf(ps, 2).front()];
         FlipBodyBitAndMendChecksum(f, p, 4, 7);
         return p.offset + 24 + 4;
       }},
      {"last payload byte of the file",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         const testutil::Ch10Packet& p = ps[PacketsOf(ps, 2).back()];
         FlipBodyBitAndMendChecksum(f, p, p.data_length - 1, 0);
         return p.offset + 24 + p.data_length - 1;
       }},
      {"a middle time packet removed",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         return RemovePacket(f, ps[PacketsOf(ps, 1)[2]]);
       }},
      {"the first time packet removed",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         return RemovePacket(f, ps[PacketsOf(ps, 1).front()]);
       }},
      {"the last time packet removed",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         return RemovePacket(f, ps[PacketsOf(ps, 1).back()]);
       }},
      {"a time packet's seconds digit changed, checksum mended",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         const testutil::Ch10Packet& p = ps[PacketsOf(ps, 1)[1]];
         FlipBodyBitAndMendChecksum(f, p, 5, 1);
         return p.offset + 24 + 4;
       }},
      {"the last PCM packet removed",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         return RemovePacket(f, ps[PacketsOf(ps, 2).back()]);
       }},
      {"the file cut inside a PCM packet",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         const testutil::Ch10Packet& p = ps[PacketsOf(ps, 2)[5]];
         f.resize(p.offset + 100);
         return p.offset;
       }},
      {"bytes after the last packet",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>&) {
         const size_t end = f.size();
         f.insert(f.end(), 30, 0);
         return end;
       }},
      {"a packet header byte changed",
       [](std::vector<uint8_t>& f, const std::vector<testutil::Ch10Packet>& ps) {
         const testutil::Ch10Packet& p = ps[PacketsOf(ps, 2)[3]];
         f[p.offset + 16] ^= 0x40;
         return p.offset;
       }},
  };
  testutil::TempDir dir;
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 40000;  // several time packets at 1000 frames/s
  settings.gaps = {{300, 2}};
  settings.setup_file.write = true;
  std::string error;
  ASSERT_TRUE(mkarchive::WriteArchive(dir.File("T.Ark"), settings, &error)) << error;
  ASSERT_EQ(e2e::RunProgram(dir.path(), "orlovarnel-convert", "--quiet T.Ark").status, 0);
  const std::string ch10 = dir.File("Ch10Conversion/T.ch10");
  const std::vector<uint8_t> good = testutil::ReadAllBytes(ch10);
  std::vector<testutil::Ch10Packet> packets;
  ASSERT_TRUE(testutil::ReadCh10File(ch10, packets, error)) << error;
  ASSERT_GE(PacketsOf(packets, 1).size(), 4u);

  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    std::vector<uint8_t> file = good;
    const size_t offset = damage.apply(file, packets);
    testutil::WriteAllBytes(dir.File("bad.ch10"), file.data(), file.size());
    const e2e::CliRun run = e2e::RunProgram(dir.path(), "orlovarnel-verify", "T.Ark bad.ch10");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_EQ(run.out.rfind(dir.File("bad.ch10") + ": difference at byte " +
                                std::to_string(offset) + ": ", 0),
              0u)
        << run.out;
  }
}

TEST(VerifyCli, FindsItsFileAndRefusesWhatItCannotRead) {
  testutil::TempDir dir;
  mkarchive::ArchiveSettings settings;
  settings.setup_file.write = true;
  std::string error;
  ASSERT_TRUE(mkarchive::WriteArchive(dir.File("T.run3.Ark"), settings, &error)) << error;
  ASSERT_EQ(e2e::RunProgram(dir.path(), "orlovarnel-convert", "--quiet --output-dir out T.run3.Ark")
                .status,
            0);
  // The default file follows the converter's names, here in --output-dir.
  e2e::CliRun run = e2e::RunProgram(dir.path(), "orlovarnel-verify", "--output-dir out T.run3.Ark");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out.find("verified: "), run.out.find(": ") + 2) << run.out;
  run = e2e::RunProgram(dir.path(), "orlovarnel-verify", "T.run3.Ark");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("not verified: "), std::string::npos) << run.out;
  // Every option has its line in the help and its entry in the man page.
  run = e2e::RunProgram(dir.path(), "orlovarnel-verify", "--help");
  EXPECT_EQ(run.status, 0);
  const std::string man =
      testutil::ReadAllText(std::string(ORLO_SOURCE_DIR) + "/packaging/orlovarnel-verify.1");
  for (const char* option :
       {"--output-dir", "--word-length", "--sfid-msb", "--help", "--version"}) {
    EXPECT_NE(run.out.find("\n  " + std::string(option) + " "), std::string::npos) << option;
    std::string roff;
    for (const char* c = option; *c != '\0'; ++c) roff += *c == '-' ? "\\-" : std::string(1, *c);
    EXPECT_NE(man.find(roff), std::string::npos) << option;
  }
  for (const char* args : {"", "a b c", "--bogus a.Ark", "--output-dir"}) {
    run = e2e::RunProgram(dir.path(), "orlovarnel-verify", args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("Usage: orlovarnel-verify"), std::string::npos) << args;
  }
  // Run elsewhere, it leaves that folder as it was: no log, no options file.
  testutil::TempDir elsewhere;
  run = e2e::RunProgram(elsewhere.path(), "orlovarnel-verify",
                        "'" + dir.File("MISSING.Ark") + "' '" + dir.File("out/T.ch10") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("could not be opened"), std::string::npos) << run.out;
  run = e2e::RunProgram(elsewhere.path(), "orlovarnel-verify",
                        "--output-dir '" + dir.File("out") + "' '" + dir.File("T.run3.Ark") + "'");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
}

}  // namespace
