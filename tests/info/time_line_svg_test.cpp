// The time line picture: well-formed XML (read by Python's parser), titled
// with the archive's name, one filled-gap element per merged gap, and no
// fill frame lost in the merging, for a few gaps and for thousands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "e2e/e2e_support.h"
#include "info/time_line_svg.h"

namespace {

TEST(TimeLineSvg, WellFormedOneElementPerMergedGap) {
  struct Case {
    const char* name;
    std::vector<mkarchive::FrameGap> gaps;
    int64_t frames;
    int64_t elements;  // expected gap elements; -1: merged, between 2 and the bar's pixels
  };
  std::vector<mkarchive::FrameGap> many;
  for (int64_t f = 1000; f < 150000; f += 37) many.push_back({f, 1 + f % 5});
  const Case cases[] = {
      {"one gap", {{9000, 1500}}, 20000, 1},
      {"three apart", {{2000, 10}, {9000, 30}, {16000, 1}}, 20000, 3},
      {"thousands", many, 120000, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testutil::TempDir dir;
    mkarchive::ArchiveSettings s;
    s.frame_count = c.frames;
    s.gaps = c.gaps;
    s.time_shifts = {{500, 7000000, false}, {15000, -9000000, false}};
    const std::string archive = dir.File("R&D <run>.Ark");
    std::string error;
    ASSERT_TRUE(mkarchive::WriteArchive(archive, s, &error)) << error;
    archiveinfostruct info;
    ASSERT_TRUE(InspectArchive(archive, info, true));
    ASSERT_EQ(info.damaged_stamps, 2);
    if (c.elements > 0) {
      ASSERT_EQ(info.filled_gaps, c.elements);
    }
    int e = 0;
    ASSERT_TRUE(WriteTimeLineSvg(info, dir.File("t.svg"), e)) << e;
    const std::string svg = testutil::ReadAllText(dir.File("t.svg"));

    const std::string check = "python3 -c \"import sys,xml.etree.ElementTree as T; r=T.parse(sys.argv[1]).getroot(); "
                              "n='{http://www.w3.org/2000/svg}'; "
                              "print(r.find(n+'title').text); "
                              "print(len([x for x in r.iter(n+'rect') if x.get('class')=='gap']))\" '" +
                              dir.File("t.svg") + "' >'" + dir.File("out.txt") + "'";
    ASSERT_EQ(std::system(check.c_str()), 0) << svg.substr(0, 2000);
    const std::string out = testutil::ReadAllText(dir.File("out.txt"));
    const std::string title = out.substr(0, out.find('\n'));
    EXPECT_EQ(title, "R&D <run>.Ark");
    const int64_t elements = std::stoll(out.substr(out.find('\n') + 1));
    if (c.elements > 0) {
      EXPECT_EQ(elements, c.elements);
    } else {
      EXPECT_GT(elements, 1);
      EXPECT_LE(elements, 1120);  // the bar's pixels
      EXPECT_LT(elements, info.filled_gaps);
    }
    // Every fill frame is in one element's count.
    const std::regex fill(R"((\d+) fill frames(?: in (\d+) gaps)?</title></rect>)");
    int64_t fill_sum = 0, gap_sum = 0;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), fill); it != std::sregex_iterator(); ++it) {
      fill_sum += std::stoll((*it)[1]);
      gap_sum += (*it)[2].matched ? std::stoll((*it)[2]) : 1;
    }
    EXPECT_EQ(fill_sum, info.fill_frames);
    EXPECT_EQ(gap_sum, info.filled_gaps);
    // The two damaged stamps lie far apart: two marks.
    size_t marks = 0;
    for (size_t at = 0; (at = svg.find("class=\"damaged\"", at)) != std::string::npos; ++at) ++marks;
    EXPECT_EQ(marks, 2u);
  }
}

}  // namespace
