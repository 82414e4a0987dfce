// The self-check reads the TMATS of the written file: it passes on every
// archive shape of the equivalence test, and when one attribute of the
// written TMATS is changed (its packet's checksum mended, so that only the
// text tells) it fails at that attribute's byte offset, naming its code.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/ch10_packets.h"
#include "e2e/equivalence_cases.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "shell/shell_fixture.h"
#include "verify/ch10_file_verifier.h"
#include "verify/ch10_packet_reader.h"

namespace {

// Converts the equivalence shape `name` in the log's folder; the paths of
// the archive and its Chapter 10 file.
std::pair<std::string, std::string> Convert(const shelltest::StartedLog& log,
                                            const std::string& name) {
  for (const e2e::OutputCase& c : e2e::EquivalenceCases()) {
    if (name != c.name) continue;
    mkarchive::ArchiveSettings settings = e2e::EquivalenceBaseSettings();
    c.shape(settings);
    const std::string archive = shelltest::MakeArchive(log.Dir().path(), name + ".Ark", settings);
    progoptionsclass options;
    conversiondriverclass driver(options, nullptr);
    EXPECT_TRUE(driver.OpenArchive(archive));
    EXPECT_EQ(driver.RunConversion(), ConversionOutcome::Complete);
    return {archive, driver.Ch10FileName()};
  }
  ADD_FAILURE() << "no shape " << name;
  return {};
}

TEST(TmatsCheck, PassesOnEveryEquivalenceShape) {
  for (const e2e::OutputCase& c : e2e::EquivalenceCases()) {
    SCOPED_TRACE(c.name);
    shelltest::StartedLog log;
    const auto [archive, ch10] = Convert(log, c.name);
    const verifyresultstruct result = VerifyCh10File(archive, ch10);
    EXPECT_TRUE(result.Passed) << VerifyResultText(result);
  }
}

// The value with its last character changed (a digit counts on by one, 9
// going back to 8; a binary digit flips), keeping its length.
std::string ChangeLast(std::string value) {
  char& c = value.back();
  c = c == '9'                                                          ? '8'
      : c == '1' && value.find_first_not_of("01X") == std::string::npos ? '0'
                                                                        : static_cast<char>(c + 1);
  return value;
}

struct Alteration {
  const char* shape;
  const char* code;   // the attribute changed
  const char* named;  // the attribute the check must name
};

TEST(TmatsCheck, NamesTheAttributeOfAnAlteredLine) {
  const Alteration alterations[] = {
      {"W12CUT", "P-1\\F1", "P-1\\F1"},           // the common word length
      {"MIXED", "P-1\\MFW2-3", "P-1\\MFW2-3"},    // one word's own length
      {"W8SLOW", "P-1\\MF5", "P-1\\MF5"},         // the sync pattern
      {"ODDBLOCK", "P-1\\MF4", "P-1\\MF4"},       // its length
      {"W16GAPS", "P-1\\MF1", "P-1\\MF1"},        // words per minor frame
      {"HIGHRATE", "P-1\\D2", "P-1\\D2"},         // the bit rate
      {"DAMAGED", "P-1\\IDC8-1", "P-1\\IDC8-1"},  // the subframe counter's end
      {"EXACT", "R-1\\CDLN-2", "P-1\\DLN"},       // channel 2 no longer leads there
  };
  for (const Alteration& a : alterations) {
    SCOPED_TRACE(std::string(a.shape) + " " + a.code);
    shelltest::StartedLog log;
    const auto [archive, ch10] = Convert(log, a.shape);
    std::vector<uint8_t> file = testutil::ReadAllBytes(ch10);
    std::vector<testutil::Ch10Packet> packets;
    std::string error;
    ASSERT_TRUE(testutil::ReadCh10File(ch10, packets, error)) << error;
    const testutil::Ch10Packet& tmats = packets.at(0);
    const std::string text(file.begin(), file.begin() + tmats.packet_length);
    const auto line_of = [&text](const std::string& code) {
      const size_t at = text.find("\n" + code + ":");
      return at == std::string::npos ? at : at + 1;
    };
    const size_t line = line_of(a.code);
    ASSERT_NE(line, std::string::npos);
    const size_t value_at = line + std::string(a.code).size() + 1;
    const size_t value_end = text.find(';', value_at);
    const std::string changed = ChangeLast(text.substr(value_at, value_end - value_at));
    std::copy(changed.begin(), changed.end(), file.begin() + static_cast<std::ptrdiff_t>(value_at));
    const uint16_t sum = VerifyChecksum16(file.data() + 24, tmats.data_length);
    file[tmats.packet_length - 2] = static_cast<uint8_t>(sum & 0xFF);
    file[tmats.packet_length - 1] = static_cast<uint8_t>(sum >> 8);
    const std::string bad = log.File("bad.ch10");
    testutil::WriteAllBytes(bad, file.data(), file.size());

    const verifyresultstruct result = VerifyCh10File(archive, bad);
    EXPECT_FALSE(result.Passed);
    EXPECT_EQ(result.DifferenceOffset, static_cast<int64_t>(line_of(a.named)))
        << VerifyResultText(result);
    EXPECT_NE(result.Difference.find(std::string("TMATS attribute ") + a.named + " "),
              std::string::npos)
        << result.Difference;
  }
}

}  // namespace
