// The conversion notes: the whole report for a fixed clock, the variable
// word-length blocks, the subframe lines and the CR LF line ends.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/ark_header.h"
#include "ch10/ch10_converter.h"
#include "report/conversion_notes.h"
#include "support/text_stream.h"
#include "common/test_helpers.h"

namespace {

constexpr double kDay = 86400.0;
const std::string kSeparator(75, '-');
const std::string kSetupHeading = kSeparator + "\r\nDecom Setup from ORLO_8x Archive\r\n" +
                                  kSeparator + "\r\n\r\n";

const std::string kArchivePath = "/data/flights/flight7.Ark";

// The header record of an archive: day 100, 12:00:00 to 12:10:00.5; 64
// words of 16 bits at 1000 Hz, one minor frame, sync FE6B2840.
std::unique_ptr<arkheaderstruct> ArchiveHeader() {
  auto header = std::make_unique<arkheaderstruct>();
  arkheaderstruct& h = *header;
  h.ArchiveYear = 2026;
  h.StartTime = 100 * kDay + 12 * 3600.0;
  h.StopTime = h.StartTime + 600.5;
  h.RightAligned = true;
  h.CommonWordLength = 16;
  h.VariableWordLengths = false;
  h.WordsPerMinorFrame = 64;
  for (int i = 0; i < 64; ++i) h.WordTable[i].iWdLen = 16;
  h.BitsPerMinorFrame = 1024;
  h.FspLeads = true;
  h.SyncPattern.FrmSyncPatRadix = 2;
  std::strcpy(h.SyncPattern.FrmSyncPat, "FE6B2840");
  h.SyncPattern.FrmSyncPatLen = 32;
  h.NumMinorFrames = 1;
  h.MinorFrameRate = 1000.0;
  return header;
}

std::string WriteNotes(const arkheaderstruct& header, const notesframecounts& frames,
                       const ch10convertprocessclass* converter) {
  testutil::TempDir dir;
  const std::string path = dir.File("flight7.CvtNotes");
  TextStream stream;
  EXPECT_TRUE(stream.Create(path));
  WriteCvtNotesAt(stream, kArchivePath, header, frames, converter, 2026, 342 * kDay + 19 * 60 + 21.7);
  EXPECT_TRUE(stream.Close());
  return testutil::ReadAllText(path);
}

std::string SummaryBlocks(const char* valid, const char* missed, const char* total,
                          const char* ch10_start, const char* ch10_stop, const char* ch10_total,
                          const char* time_packets, const char* pcm_packets) {
  return "Ch10 file converted from a Quorvant ORLO_8X .Ark archive file.\r\n"
         "Converted from /data/flights/flight7.Ark\r\n"
         "Converted on 12-08-2026 at 00:19:21\r\n" +
         kSeparator + "\r\n\r\n" +
         "Ark file Start Time         : 100:12:00:00.000000\r\n"
         "Ark file Stop Time          : 100:12:10:00.500000\r\n"
         "Ark file Total Time         : 000:00:10:00.500000\r\n"
         "Ark file Vald Frame Count   : " + valid + "\r\n" +
         "Ark file Invald Frame Count : " + missed + "\r\n" +
         "Ark file Total Frame Count  : " + total + "\r\n" + kSeparator + "\r\n\r\n" +
         "Ch10 file Start Time        : " + ch10_start + "\r\n" +
         "Ch10 file Stop Time         : " + ch10_stop + "\r\n" +
         "Ch10 file Total Time        : " + ch10_total + "\r\n" +
         "Ch10 file Time Packet Count : " + time_packets + "\r\n" +
         "Ch10 file PCM Packet Count  : " + pcm_packets + "\r\n" + kSeparator + "\r\n\r\n";
}

std::string FrameLines(const std::string& subframe_lines) {
  return "WPF                   : 64\r\n"
         "Bits Per Minor        : 1024\r\n"
         "FSP Leads             : YES\r\n"
         "FSP Length            : 32\r\n"
         "FSP                   : FE6B2840\r\n"
         "Num Minor Frames      : " +
         subframe_lines +
         "Minor Frame Rate (Hz) : 1000.00\r\n"
         "Bit Rate (MBps)       : 1.02400\r\n"
         "\r\n" +
         kSeparator + "\r\n\r\n";
}

void ExpectOnlyCrLfLineEnds(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      ASSERT_LT(i + 1, text.size()) << "CR at the end";
      EXPECT_EQ(text[i + 1], '\n') << "CR without LF at " << i;
    }
    if (text[i] == '\n') {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(text[i - 1], '\r') << "LF without CR at " << i;
    }
  }
}

TEST(ConversionNotes, WholeReportForOneMinorFrame) {
  const std::unique_ptr<arkheaderstruct> header = ArchiveHeader();
  notesframecounts frames;
  frames.valid = 600500;
  frames.missed = 3;
  frames.total = 600503;
  // A stream at 512 bit/s from day 1, 00:00:00: packets of the minimum 4
  // words, 0.125 s each. 100 full packets and 4 bytes more: 101 PCM
  // packets over 12.5625 s, and a time packet after every 8th (1 s) besides
  // the first, 13 in all.
  testutil::TempDir dir;
  auto stream_setup = std::make_unique<arkheaderstruct>(*header);
  stream_setup->StartTime = kDay;
  stream_setup->BitsPerMinorFrame = 64;
  stream_setup->MinorFrameRate = 8.0;
  ch10convertprocessclass converter(dir.File("stream.ch10"), *stream_setup);
  ASSERT_TRUE(converter.Start());
  const std::vector<uint8_t> stream(100 * 8 + 4, 0x5A);
  ASSERT_TRUE(converter.AcceptPackedBytes(stream.data(), stream.size()));
  converter.Finish();

  const std::string expected =
      SummaryBlocks("600500", "3", "600503", "001:00:00:00.000000", "001:00:00:12.562500",
                    "000:00:00:12.562500", "13", "101") +
      kSetupHeading +
      "Right Aligned         : YES\r\n"
      "CWL                   : 16\r\n"
      "Variable Word Lengths : NO\r\n" +
      FrameLines("1\r\n");
  const std::string text = WriteNotes(*header, frames, &converter);
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.find("SFID"), std::string::npos);
  ExpectOnlyCrLfLineEnds(text);
}

TEST(ConversionNotes, MissingConvertersReadAsZeros) {
  const std::string text = WriteNotes(*ArchiveHeader(), PackFrameCounts(nullptr), nullptr);
  const std::string summary =
      SummaryBlocks("0", "0", "0", "000:00:00:00.000000", "000:00:00:00.000000",
                    "000:00:00:00.000000", "0", "0");
  EXPECT_EQ(text.substr(0, summary.size()), summary);
  ExpectOnlyCrLfLineEnds(text);
}

TEST(ConversionNotes, VariableWordLengthsAndSubframeLines) {
  const std::unique_ptr<arkheaderstruct> header = ArchiveHeader();
  arkheaderstruct& h = *header;
  h.RightAligned = false;
  h.VariableWordLengths = true;
  h.WordTable[6].iWdLen = 12;   // word 7
  h.WordTable[63].iWdLen = 20;  // word 64, still 1024 bits in all
  h.NumMinorFrames = 16;
  h.SfidStartCount = 1;
  h.SfidWordNumber = 3;
  h.SfidMsb = 7;

  const std::string expected_setup =
      kSetupHeading +
      "Right Aligned         : NO\r\n"
      "CWL                   : 16\r\n"
      "Variable Word Lengths : YES\r\n"
      "\r\n"
      "    Word Number      Num Bits\r\n"
      "    7                 12\r\n"
      "    64                20\r\n"
      "\r\n" +
      FrameLines("16\r\n"
                 "SFID Start Count      : 1\r\n"
                 "SFID Word Number      : 3\r\n"
                 "SFID MSB              : 7\r\n");
  const std::string text = WriteNotes(h, {}, nullptr);
  ASSERT_GE(text.size(), expected_setup.size());
  EXPECT_EQ(text.substr(text.size() - expected_setup.size()), expected_setup);
  ExpectOnlyCrLfLineEnds(text);
}

TEST(ConversionNotes, VariableFlagWithNoDifferingWordKeepsTheTableHeading) {
  const std::unique_ptr<arkheaderstruct> header = ArchiveHeader();
  header->VariableWordLengths = true;
  const std::string text = WriteNotes(*header, {}, nullptr);
  const std::string block = "Variable Word Lengths : YES\r\n\r\n"
                            "    Word Number      Num Bits\r\n\r\n"
                            "WPF                   : 64\r\n";
  EXPECT_NE(text.find(block), std::string::npos);
}

TEST(ConversionNotes, TimesOutOfRangeShowTheFixedText) {
  const std::unique_ptr<arkheaderstruct> header = ArchiveHeader();
  header->StopTime = -1.0;
  const std::string text = WriteNotes(*header, {}, nullptr);
  EXPECT_NE(text.find("Ark file Stop Time          : XXX:XX:XX:XX.XXXXXX\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("Ark file Total Time         : XXX:XX:XX:XX.XXXXXX\r\n"),
            std::string::npos);
}

TEST(ConversionNotes, NotesBlockEndsWithOneEmptyLine) {
  testutil::TempDir dir;
  const std::string path = dir.File("block.txt");
  TextStream stream;
  ASSERT_TRUE(stream.Create(path));
  WriteNotesBlock(stream, "a\r\nb\r\n");
  WriteNotesBlock(stream, "c\r\n");
  ASSERT_TRUE(stream.Close());
  EXPECT_EQ(testutil::ReadAllText(path), "a\r\nb\r\n\r\nc\r\n\r\n");
}

}  // namespace
