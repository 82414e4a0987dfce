// Whole conversions of a spread of generated archives, pinned byte for byte:
// the Chapter 10 file, the conversion notes and the retained pack file must
// be exactly what the reference run recorded in data/conversion_outputs.txt
// (size and SHA-256 of each). The two texts that depend on the day and the
// folder are masked first: the conversion date in the TMATS comment (with
// that packet's data checksum) and the notes lines "Converted from" and
// "Converted on".
//
// Setting ORLO_RECORD_OUTPUTS=1 rewrites the reference file from this build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/sha256.h"
#include "common/test_helpers.h"
#include "mkarchive/archive_generator.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "shell/shell_fixture.h"
#include "support/platform_file.h"

namespace {

const std::string kReferencePath = std::string(ORLO_SOURCE_DIR) + "/tests/e2e/data/conversion_outputs.txt";

struct OutputCase {
  const char* name;
  std::function<void(mkarchive::ArchiveSettings&)> shape;
};

mkarchive::ArchiveSettings BaseSettings() {
  mkarchive::ArchiveSettings s;
  s.setup_file.write = true;
  s.setup_file_name = "C:\\DECOM\\SETUPS\\REF.B50";
  s.seed = 11;
  return s;
}

const std::vector<OutputCase>& Cases() {
  static const std::vector<OutputCase> cases = {
      // 16-bit words, 1.024 Mbit/s, two gaps (one of 3,000 frames).
      {"W16GAPS", [](auto& s) {
         s.words_per_frame = 64;
         s.frame_rate_hz = 1000.0;
         s.frame_count = 2500;
         s.gaps = {{300, 1}, {900, 3000}};
       }},
      // 12-bit words, a gap, a last block cut short inside its frames.
      {"W12CUT", [](auto& s) {
         s.words_per_frame = 100;
         s.common_word_length = 12;
         s.sfid_word = 4;  // after the three words of the sync pattern
         s.dirty_unused_bits = true;
         s.frame_rate_hz = 800.0;
         s.frame_count = 2007;
         s.gaps = {{500, 7}};
         s.last_block = mkarchive::LastBlockFill::kCutShort;
       }},
      // 8-bit words, an odd word count, 13,200 bit/s: small packets, 20 s.
      {"W8SLOW", [](auto& s) {
         s.words_per_frame = 33;
         s.common_word_length = 8;
         s.sync_bits = 24;
         s.sync_pattern = 0xFAF320;
         s.sfid_word = 4;
         s.frame_rate_hz = 50.0;
         s.frame_count = 1000;
         s.frames_per_block = 4;
         s.gaps = {{10, 2}, {400, 1}};
       }},
      // A mixed word table with left- and right-justified words.
      {"MIXED", [](auto& s) {
         s.words_per_frame = 37;
         s.frame_rate_hz = 500.0;
         s.frame_count = 1500;
         const int32_t lengths[] = {16, 12, 8, 10, 14, 9, 16, 3, 13, 11};
         for (int32_t w = 0; w < 37; ++w) {
           s.word_lengths.push_back(w < 2 ? 16 : lengths[w % 10]);
           s.left_justified.push_back(w >= 2 && w % 3 == 0);
         }
         s.dirty_unused_bits = true;
         s.gaps = {{700, 4}};
       }},
      // 9,001 words per frame: groups of one frame, 12-bit words, so the
      // bits of a frame run on into the next group's words.
      {"WPF9001", [](auto& s) {
         s.words_per_frame = 9001;
         s.common_word_length = 12;
         s.sfid_word = 4;
         s.frame_rate_hz = 10.0;
         s.frames_per_block = 2;
         s.frame_count = 40;
         s.gaps = {{13, 1}};
       }},
      // 335 Mbit/s: packets at the 131,072-word cap and a short last one.
      {"HIGHRATE", [](auto& s) {
         s.words_per_frame = 2048;
         s.frame_rate_hz = 10240.0;
         s.frames_per_block = 8;
         s.frame_count = 420;
         s.gaps = {{100, 3}};
       }},
      // Exactly 16 full packets of 1,600 words and nothing after them.
      {"EXACT", [](auto& s) {
         s.words_per_frame = 16;
         s.frame_rate_hz = 1000.0;
         s.frame_count = 1600;
       }},
      // One block: less than one packet.
      {"TINY", [](auto& s) {
         s.words_per_frame = 16;
         s.frame_count = 16;
       }},
      // Blocks of an odd size (13 status bytes), so that every other block
      // and its frames lie at odd addresses in the read-ahead buffer.
      {"ODDBLOCK", [](auto& s) {
         s.words_per_frame = 48;
         s.common_word_length = 10;
         s.sfid_word = 5;  // after the four words of the sync pattern
         s.status_bytes_per_block = 13;
         s.frame_count = 3000;
         s.gaps = {{700, 2}};
       }},
      // Damaged frame times: a repeated time, a backward clock jump and a
      // last block filled with zero frames.
      {"DAMAGED", [](auto& s) {
         s.words_per_frame = 24;
         s.common_word_length = 12;
         s.sfid_word = 4;
         s.frame_rate_hz = 1000.0;
         s.frame_count = 1203;
         s.time_shifts = {{200, -1000, false}, {600, -5000, true}};
         s.last_block = mkarchive::LastBlockFill::kZeroFrames;
       }},
  };
  return cases;
}

std::vector<uint8_t> MaskNotes(const std::string& notes) {
  std::string masked;
  std::istringstream lines(notes);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Converted from ", 0) == 0) line = "Converted from ARCHIVE\r";
    if (line.rfind("Converted on ", 0) == 0) line = "Converted on DATE\r";
    masked += line + "\n";
  }
  return std::vector<uint8_t>(masked.begin(), masked.end());
}

std::string Fingerprint(const std::vector<uint8_t>& bytes) {
  return std::to_string(bytes.size()) + " " + testutil::Sha256Hex(bytes);
}

// "NAME kind" -> "size sha256" for one conversion of every case.
std::map<std::string, std::string> ConvertAll() {
  std::map<std::string, std::string> outputs;
  for (const OutputCase& c : Cases()) {
    shelltest::StartedLog log;
    progoptionsclass options;
    conversiondriverclass driver(options, nullptr);
    driver.SetRetainPackFile(true);
    mkarchive::ArchiveSettings settings = BaseSettings();
    c.shape(settings);
    const std::string archive =
        shelltest::MakeArchive(log.Dir().path(), std::string(c.name) + ".Ark", settings);
    EXPECT_TRUE(driver.OpenArchive(archive)) << c.name;
    EXPECT_EQ(driver.RunConversion(), ConversionOutcome::Complete) << c.name;

    std::vector<uint8_t> ch10 = testutil::ReadAllBytes(driver.Ch10FileName());
    testutil::MaskConversionDate(ch10);
    outputs[std::string(c.name) + " ch10"] = Fingerprint(ch10);
    outputs[std::string(c.name) + " notes"] =
        Fingerprint(MaskNotes(testutil::ReadAllText(driver.NotesFileName())));
    outputs[std::string(c.name) + " pack"] = Fingerprint(testutil::ReadAllBytes(driver.PackFileName()));
  }
  return outputs;
}

TEST(OutputEquivalence, EveryOutputByteMatchesTheReferenceRun) {
  const std::map<std::string, std::string> outputs = ConvertAll();
  const char* record = std::getenv("ORLO_RECORD_OUTPUTS");
  if (record != nullptr && std::string(record) == "1") {
    std::ofstream out(kReferencePath, std::ios::binary | std::ios::trunc);
    for (const auto& [key, value] : outputs) out << key << " " << value << "\n";
    ASSERT_TRUE(out.good()) << kReferencePath;
    return;
  }

  std::ifstream in(kReferencePath);
  ASSERT_TRUE(in.good()) << "no reference file " << kReferencePath;
  std::map<std::string, std::string> reference;
  for (std::string name, kind, size, digest; in >> name >> kind >> size >> digest;) {
    reference[name + " " + kind] = size + " " + digest;
  }
  ASSERT_EQ(reference.size(), outputs.size());
  for (const auto& [key, value] : outputs) {
    EXPECT_EQ(value, reference[key]) << key;
  }
}

}  // namespace
