// The inspection says what a conversion then does: for every archive shape
// of the equivalence test and for damaged ones, the frames, fill frames,
// damaged stamps, the setup decision and every warning agree with the
// summary and warning lines orlovarnel-convert prints for the same archive.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/equivalence_cases.h"
#include "info/archive_info.h"

namespace {

struct ShapeCase {
  std::string name;
  std::function<void(mkarchive::ArchiveSettings&)> shape;
};

std::vector<ShapeCase> AllShapes() {
  std::vector<ShapeCase> shapes;
  for (const e2e::OutputCase& c : e2e::EquivalenceCases()) shapes.push_back({c.name, c.shape});
  auto base = [](mkarchive::ArchiveSettings& s) {
    s.frame_count = 320;
    s.setup_file.write = true;
  };
  shapes.push_back({"damaged stamp", [=](auto& s) {
                      base(s);
                      s.time_shifts = {{100, 3600LL * 1000000, false}};
                    }});
  shapes.push_back({"first stamp damaged", [=](auto& s) {
                      base(s);
                      s.time_shifts = {{0, 7200LL * 1000000, false}};
                    }});
  shapes.push_back({"cut last block", [=](auto& s) {
                      base(s);
                      s.cut_tail_bytes = 50;
                    }});
  shapes.push_back({"setup file cut short", [=](auto& s) {
                      base(s);
                      s.setup_file.record_bytes = 300;
                    }});
  shapes.push_back({"setup file fails a check", [=](auto& s) {
                      base(s);
                      s.setup_file.edit = [](decomsetupstruct& r) { r.CommonWordLength = 20; };
                    }});
  // The file is there, but the recorded name does not end in ".B50": the
  // converter never reads it and asks the prompts instead.
  shapes.push_back({"setup file not named .B50", [=](auto& s) {
                      base(s);
                      s.setup_file_name = "C:\\SETUPS\\LOWER.b50";
                    }});
  shapes.push_back({"no setup file", [=](auto& s) {
                      base(s);
                      s.setup_file.write = false;
                    }});
  shapes.push_back({"header rate disagrees", [=](auto& s) {
                      base(s);
                      s.line_overrides = {{20, "MINOR FRAME RATE: 2000"}};
                    }});
  shapes.push_back({"a long loss", [=](auto& s) {
                      base(s);
                      s.frame_count = 3000;
                      s.gaps = {{10, 1}, {50, 2}, {100, 3}, {900, 40000}};
                    }});
  shapes.push_back({"no whole block", [=](auto& s) {
                      base(s);
                      s.frame_count = 16;
                      s.cut_tail_bytes = 20;
                    }});
  return shapes;
}

// "warning: TEXT" lines the converter printed for the archive, in order.
std::vector<std::string> ConverterWarnings(const std::string& err, const std::string& archive) {
  std::vector<std::string> out;
  std::istringstream lines(err);
  const std::string lead = "orlovarnel-convert: " + archive + ": warning: ";
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(lead, 0) == 0) out.push_back(line.substr(lead.size()));
  return out;
}

TEST(ArchiveInfo, AgreesWithTheConversion) {
  const std::regex summary(R"(: Conversion Complete, frames (\d+) \(fill (\d+)\))");
  const std::regex damaged(R"((\d+) frame time stamps? (was|were) out of step)");
  for (const ShapeCase& c : AllShapes()) {
    SCOPED_TRACE(c.name);
    testutil::TempDir dir;
    mkarchive::ArchiveSettings settings = e2e::EquivalenceBaseSettings();
    c.shape(settings);
    std::string error;
    ASSERT_TRUE(mkarchive::WriteArchive(dir.File("A.Ark"), settings, &error)) << error;

    archiveinfostruct info;
    const bool ok = InspectArchive(dir.File("A.Ark"), info);
    // Nothing was written beside the archive.
    EXPECT_FALSE(std::filesystem::exists(dir.File("Ch10Conversion")));

    const e2e::CliRun run = e2e::RunConverter(dir.path(), "--quiet A.Ark");
    if (!info.readable) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(run.status, 1) << run.err;
      EXPECT_NE(run.err.find(dir.File("A.Ark") + ": " + info.refusal), std::string::npos)
          << info.refusal << "\n" << run.err;
      continue;
    }
    ASSERT_TRUE(ok);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.out, m, summary)) << run.out << run.err;
    EXPECT_EQ(std::stoll(m[1]), info.archive_frames + info.fill_frames);
    EXPECT_EQ(std::stoll(m[2]), info.fill_frames);

    const std::vector<std::string> warnings = ConverterWarnings(run.err, dir.File("A.Ark"));
    std::vector<std::string> said;
    for (const runwarningstruct& w : info.warnings) said.push_back(w.text);
    EXPECT_EQ(said, warnings);
    EXPECT_EQ(run.status, warnings.empty() ? 0 : 3);

    int64_t converter_damaged = 0;
    for (const std::string& w : warnings)
      if (std::regex_search(w, m, damaged)) converter_damaged = std::stoll(m[1]);
    EXPECT_EQ(converter_damaged, info.damaged_stamps);

    // The setup decision: a setup file refused is the converter's warning;
    // one used leaves the prompts unasked, and the notes name it.
    const bool setup_warned = !warnings.empty() && warnings[0].rfind("setup file ", 0) == 0;
    EXPECT_EQ(info.setup == SetupDecision::NotUsed, setup_warned);
    EXPECT_EQ(info.prompts_asked, info.setup != SetupDecision::Used);
    const bool named_b50 = settings.setup_file_name.ends_with(".B50");
    EXPECT_EQ(info.setup == SetupDecision::Used, settings.setup_file.write && named_b50 && !setup_warned);
    // The check's number comes from the validation itself: none for a
    // file used, missing or refused for another reason.
    EXPECT_EQ(info.setup_check, c.name == "setup file fails a check" ? 18 : -1) << info.setup_reason;
    if (c.name == "cut last block") {
      EXPECT_GT(info.partial_block_bytes, 0);
    }
    if (c.name == "a long loss") {
      EXPECT_EQ(info.filled_gaps, 4);
      EXPECT_EQ(info.largest_gap.fill_frames, 40000);
    }
  }
}

}  // namespace
