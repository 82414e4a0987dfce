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
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/sha256.h"
#include "common/test_helpers.h"
#include "e2e/equivalence_cases.h"
#include "mkarchive/archive_generator.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "shell/shell_fixture.h"
#include "support/platform_file.h"

namespace {

const std::string kReferencePath = std::string(ORLO_SOURCE_DIR) + "/tests/e2e/data/conversion_outputs.txt";

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
  for (const e2e::OutputCase& c : e2e::EquivalenceCases()) {
    shelltest::StartedLog log;
    progoptionsclass options;
    conversiondriverclass driver(options, nullptr);
    driver.SetRetainPackFile(true);
    mkarchive::ArchiveSettings settings = e2e::EquivalenceBaseSettings();
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
