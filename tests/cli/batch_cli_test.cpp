// Batches: --jobs 2 gives the outputs and the lines of --jobs 1, and a
// batch stopped part way and run again with --skip-complete converts
// exactly the archives it had not finished.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "e2e/e2e_support.h"

namespace {

using e2e::WriteTestArchive;

std::vector<uint8_t> MaskedCh10(const std::string& path) {
  std::vector<uint8_t> bytes = testutil::ReadAllBytes(path);
  testutil::MaskConversionDate(bytes);
  return bytes;
}

TEST(ConverterBatches, TwoJobsEqualOne) {
  testutil::TempDir dir;
  std::string names;
  for (int k = 0; k < 5; ++k) {
    mkarchive::ArchiveSettings s;
    s.setup_file.write = k != 3;  // one answered by the prompts' defaults
    s.frame_count = 800 + 600 * k;
    s.gaps = {{100, k + 1}};
    if (k == 2) s.time_shifts = {{300, 3600LL * 1000000, false}};  // a warning
    WriteTestArchive(dir, "A" + std::to_string(k) + ".Ark", s);
    names += " A" + std::to_string(k) + ".Ark";
    if (k == 1) names += " missing.Ark A1.Ark";  // refused: not there; same outputs as before
  }
  const e2e::CliRun one = e2e::RunConverter(dir.path(), "--quiet" + names);
  std::filesystem::rename(dir.File("Ch10Conversion"), dir.File("one"));
  const e2e::CliRun two = e2e::RunConverter(dir.path(), "--quiet --jobs 2" + names);
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(two.status, one.status);
  EXPECT_EQ(two.out, one.out);
  EXPECT_EQ(two.err, one.err);
  EXPECT_NE(one.err.find("A2.Ark: warning: "), std::string::npos) << one.err;
  for (int k = 0; k < 5; ++k) {
    const std::string name = "A" + std::to_string(k) + ".ch10";
    EXPECT_EQ(MaskedCh10(dir.File("Ch10Conversion/" + name)), MaskedCh10(dir.File("one/" + name))) << name;
  }
  const e2e::CliRun json_one = e2e::RunConverter(dir.path(), "--quiet --json --skip-complete" + names);
  const e2e::CliRun json_two = e2e::RunConverter(dir.path(), "--quiet --json --skip-complete --jobs 3" + names);
  // The same objects in the same order; only the wall times differ.
  auto without_times = [](std::string text) {
    for (size_t at; (at = text.find("\"wall_seconds\":")) != std::string::npos;)
      text.erase(at, text.find('}', at) - at);
    return text;
  };
  EXPECT_EQ(without_times(json_two.out), without_times(json_one.out));
  EXPECT_EQ(std::count(json_one.out.begin(), json_one.out.end(), '\n'), 7);

  // --gap-map draws the time line beside the notes.
  EXPECT_EQ(e2e::RunConverter(dir.path(), "--quiet --gap-map A0.Ark").status, 0);
  const std::string svg = testutil::ReadAllText(dir.File("Ch10Conversion/A0.gaps.svg"));
  EXPECT_NE(svg.find("<title>A0.Ark</title>"), std::string::npos) << svg.substr(0, 400);
  EXPECT_NE(svg.find("<title>1 fill frames</title>"), std::string::npos);
}

TEST(ConverterBatches, StoppedBatchResumesWithWhatIsLeft) {
  testutil::TempDir dir;
  const int kArchives = 8;
  std::string names;
  for (int k = 0; k < kArchives; ++k) {
    mkarchive::ArchiveSettings s;
    s.setup_file.write = true;
    s.words_per_frame = 256;
    s.frame_count = mkarchive::FramesForSize(s, 24 << 20);
    WriteTestArchive(dir, "B" + std::to_string(k) + ".Ark", s);
    names += " B" + std::to_string(k) + ".Ark";
  }
  // SIGTERM once the first archive's outputs are complete.
  const std::string command = "cd '" + dir.path() + "' && ('" + e2e::ConverterPath() + "' --quiet" + names +
                              " >first.out 2>first.err & pid=$!; "
                              "while [ ! -e Ch10Conversion/B0.CvtNotes ] && kill -0 $pid 2>/dev/null; do "
                              "sleep 0.01; done; kill -TERM $pid; wait $pid; echo $? >status.txt)";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(testutil::ReadAllText(dir.File("status.txt")), "1\n");
  std::set<std::string> done;
  for (int k = 0; k < kArchives; ++k)
    if (std::filesystem::exists(dir.File("Ch10Conversion/B" + std::to_string(k) + ".CvtNotes")))
      done.insert("B" + std::to_string(k) + ".Ark");
  ASSERT_GE(done.size(), 1u);
  ASSERT_LT(done.size(), static_cast<size_t>(kArchives)) << "the batch ended before it was stopped";

  const e2e::CliRun again = e2e::RunConverter(dir.path(), "--quiet --json --skip-complete" + names);
  EXPECT_EQ(again.status, 0) << again.err;
  std::istringstream lines(again.out);
  int k = 0;
  for (std::string line; std::getline(lines, line); ++k) {
    const std::string name = "B" + std::to_string(k) + ".Ark";
    const bool skipped = line.find("\"outcome\":\"skipped\"") != std::string::npos;
    const bool converted = line.find("\"outcome\":\"converted\"") != std::string::npos;
    EXPECT_NE(line.find("/" + name + "\""), std::string::npos) << line;
    EXPECT_EQ(skipped, done.count(name) == 1) << line;
    EXPECT_EQ(converted, done.count(name) == 0) << line;
  }
  EXPECT_EQ(k, kArchives);
  // Everything verifies now; a third run converts nothing.
  const e2e::CliRun third = e2e::RunConverter(dir.path(), "--quiet --skip-complete --verify" + names);
  EXPECT_EQ(third.status, 0) << third.err;
  EXPECT_EQ(std::count(third.out.begin(), third.out.end(), '\n'), kArchives);
  EXPECT_EQ(third.out.find("Conversion Complete"), std::string::npos) << third.out;
}

}  // namespace
