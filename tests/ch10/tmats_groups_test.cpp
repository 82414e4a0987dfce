// The general and recorder groups, the whole text's group order and the
// packing of the line list into the setup packet body.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "archive/ark_header.h"
#include "ch10/tmats_builder.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;

std::unique_ptr<arkheaderstruct> ArchiveOf(int32_t year, double start_time) {
  auto header = std::make_unique<arkheaderstruct>();
  header->ArchiveYear = year;
  header->StartTime = start_time;
  return header;
}

const std::vector<std::string> kRecorderGroup = {
    "R-1\\ID:GroupG_DS_Ch10Conversion",
    "R-1\\RID:Recorder1",
    "R-1\\RI1:Quorvant",
    "R-1\\RI2:CustomRecorder",
    "R-1\\RI3:N",
    "R-1\\TC1:SSR",
    "R-1\\RRML:I",
    "R-1\\NSB:4",
    "R-1\\RI6:Y",
    "R-1\\CRE:T",
    "R-1\\RSS:C",
    "R-1\\EV\\E:F",
    "R-1\\EV\\N:0",
    "R-1\\EV\\IEE:F",
    "R-1\\IDX\\E:F",
    "R-1\\IDX\\IT:C",
    "R-1\\IDX\\ICV:1",
    "R-1\\N:2",
    "R-1\\TK1-1:1",
    "R-1\\TK2-1:SSR",
    "R-1\\DSI-1:1",
    "R-1\\TK3-1:FWD",
    "R-1\\TK4-1:1",
    "R-1\\CHE-1:T",
    "R-1\\CDT-1:TIMEIN",
    "R-1\\CDLN-1:DLN_CH_TIME",
    "R-1\\TTF-1:1",
    "R-1\\TFMT-1:B",
    "R-1\\TSRC-1:I",
    "R-1\\TK1-2:2",
    "R-1\\TK2-2:SSR",
    "R-1\\DSI-2:2",
    "R-1\\TK3-2:FWD",
    "R-1\\TK4-2:2",
    "R-1\\CHE-2:T",
    "R-1\\CDT-2:PCMIN",
    "R-1\\CDLN-2:PCM_CH_DATA",
    "R-1\\PDTF-2:1",
    "R-1\\PDP-2:TM",
    "R-1\\ICE-2:0",
    "R-1\\PTF-2:NONE",
    "R-1\\MFF\\E-2:F",
    "R-1\\POF\\E-2:F",
};

TEST(TmatsGeneralGroup, LinesWithAGivenClock) {
  auto header = ArchiveOf(2024, 60 * kSecondsPerDay + 3600.0);
  std::vector<std::string> lines;
  std::string data_source_id;
  AddTmatsGeneralGroupAt(lines, *header, data_source_id, 2026, 342 * kSecondsPerDay + 19 * 60 + 21.4);
  const std::vector<std::string> expected = {
      "G\\COM:CH10 CONVERSION FROM QUORVANT ARCHIVE-> 12-08-2026 at 00:19:21",
      "G\\PN:Ch10Conversion",
      "G\\106:07",
      "G\\OD:02-29-2024",
      "G\\RN:1",
      "G\\RD:02-29-2024",
      "G\\RT:1",
      "G\\POC\\N:0",
      "G\\SC:U",
      "G\\DSI\\N:1",
      "G\\DSI-1:GroupG_DS_Ch10Conversion",
      "G\\DST-1:DSS",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(data_source_id, "GroupG_DS_Ch10Conversion");
}

TEST(TmatsGeneralGroup, ArchiveDateEdgeCases) {
  struct Case {
    int32_t year;
    double start;
    const char* date;
  } cases[] = {
      {2024, kSecondsPerDay, "01-01-2024"},          {2023, 60 * kSecondsPerDay, "03-01-2023"},
      {2023, 366 * kSecondsPerDay, "12-32-2023"},    {2024, 100.0, "12-31-2024"},
      {2024, -5.0, "12-31-2024"},          {2024, 31708801.0, "12-31-2024"},
      {2024, std::nan(""), "12-31-2024"},  {123456, kSecondsPerDay, "01-01-1234"},
      {987, kSecondsPerDay, "01-01-987"},
  };
  for (const Case& c : cases) {
    auto header = ArchiveOf(c.year, c.start);
    std::vector<std::string> lines;
    std::string id;
    AddTmatsGeneralGroupAt(lines, *header, id, 2026, kSecondsPerDay);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[3], std::string("G\\OD:") + c.date) << c.start;
    EXPECT_EQ(lines[5], std::string("G\\RD:") + c.date) << c.start;
  }
}

TEST(TmatsGeneralGroup, ClockReadingStampsTheComment) {
  auto header = ArchiveOf(2024, kSecondsPerDay);
  std::vector<std::string> lines;
  std::string id;
  AddTmatsGeneralGroup(lines, *header, id);
  ASSERT_EQ(lines.size(), 12u);
  const std::string lead = "G\\COM:CH10 CONVERSION FROM QUORVANT ARCHIVE-> ";
  ASSERT_EQ(lines[0].size(), lead.size() + 10 + 4 + 8);
  EXPECT_EQ(lines[0].substr(0, lead.size()), lead);
  EXPECT_EQ(lines[0].substr(lead.size() + 10, 4), " at ");
  EXPECT_EQ(lines[0].find('X'), std::string::npos);
}

TEST(TmatsRecorderGroup, AllLinesAndDataLinkNames) {
  auto header = ArchiveOf(2024, kSecondsPerDay);
  std::vector<std::string> lines;
  std::string pcm_link;
  std::string time_link;
  AddTmatsRecorderGroup(lines, *header, "GroupG_DS_Ch10Conversion", pcm_link, time_link);
  EXPECT_EQ(lines, kRecorderGroup);
  EXPECT_EQ(pcm_link, "PCM_CH_DATA");
  EXPECT_EQ(time_link, "DLN_CH_TIME");
}

TEST(TmatsText, GroupsInOrderAndLinksPassedOn) {
  auto header = ArchiveOf(2024, kSecondsPerDay);
  header->WordsPerMinorFrame = 4;
  header->CommonWordLength = 8;
  header->BitsPerMinorFrame = 32;
  header->NumMinorFrames = 1;
  header->MinorFrameRate = 100.0;
  for (int i = 0; i < 4; ++i) header->WordTable[i].iWdLen = 8;
  std::vector<std::string> lines;
  BuildTmatsText(lines, *header);
  ASSERT_GT(lines.size(), 12u + 43u);
  for (size_t i = 0; i < 12; ++i) EXPECT_EQ(lines[i].substr(0, 2), "G\\") << i;
  for (size_t i = 0; i < 43; ++i) EXPECT_EQ(lines[12 + i], kRecorderGroup[i]);
  EXPECT_EQ(lines[55], "P-1\\DLN:PCM_CH_DATA");
  for (size_t i = 55; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(0, 4), "P-1\\") << i;
  EXPECT_EQ(lines.back(), "P-1\\ISF\\N:0");
}

// Checks the layout: 4 zero bytes, then each line, ";" CR LF.
void ExpectBody(const std::vector<uint8_t>& buffer, size_t offset, size_t length,
                const std::vector<std::string>& lines) {
  ASSERT_GE(buffer.size(), offset + length);
  std::string expected(4, '\0');
  for (const std::string& line : lines) expected += line + ";\r\n";
  ASSERT_EQ(length, expected.size());
  EXPECT_EQ(std::string(buffer.begin() + offset, buffer.begin() + offset + length), expected);
}

TEST(TmatsBody, GeneralAndRecorderGroupsLayoutAndLength) {
  auto header = ArchiveOf(2024, kSecondsPerDay);
  std::vector<std::string> lines;
  std::string id, pcm_link, time_link;
  AddTmatsGeneralGroupAt(lines, *header, id, 2026, kSecondsPerDay);
  AddTmatsRecorderGroup(lines, *header, id, pcm_link, time_link);
  ASSERT_EQ(lines.size(), 55u);
  size_t line_bytes = 0;
  for (const std::string& line : lines) line_bytes += line.size();

  std::vector<uint8_t> buffer;
  const size_t length = PackTmatsBody(buffer, 0, lines);
  EXPECT_EQ(length, 4 + line_bytes + 3 * 55);
  ExpectBody(buffer, 0, length, lines);
  EXPECT_EQ(buffer[0] | buffer[1] | buffer[2] | buffer[3], 0);
  EXPECT_EQ(buffer[length - 3], ';');
  EXPECT_EQ(buffer[length - 2], '\r');
  EXPECT_EQ(buffer[length - 1], '\n');
}

TEST(TmatsBody, EmptyListGivesTheChannelWordOnly) {
  std::vector<uint8_t> buffer(8, 0xEE);
  EXPECT_EQ(PackTmatsBody(buffer, 2, {}), 4u);
  const std::vector<uint8_t> expected = {0xEE, 0xEE, 0, 0, 0, 0, 0xEE, 0xEE};
  EXPECT_EQ(buffer, expected);
}

TEST(TmatsBody, GrowsTheBufferAndKeepsWhatIsBeforeTheOffset) {
  std::vector<std::string> lines;
  for (int i = 0; i < 20000; ++i) lines.push_back("P-1\\MFW1-" + std::to_string(i) + ":1234");
  std::vector<uint8_t> buffer(24 + 16, 0x5A);  // a packet header and a little room
  const size_t length = PackTmatsBody(buffer, 24, lines);
  ExpectBody(buffer, 24, length, lines);
  EXPECT_EQ(buffer.size(), 24 + length);
  for (size_t i = 0; i < 24; ++i) EXPECT_EQ(buffer[i], 0x5A) << i;
}

TEST(TmatsBody, LargerBufferIsNeitherShrunkNorWrittenPastTheBody) {
  const std::vector<std::string> lines = {"G\\PN:Ch10Conversion", "G\\RN:1"};
  std::vector<uint8_t> buffer(100, 0x77);
  const size_t length = PackTmatsBody(buffer, 10, lines);
  ExpectBody(buffer, 10, length, lines);
  EXPECT_EQ(buffer.size(), 100u);
  for (size_t i = 10 + length; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0x77) << i;
}

}  // namespace
