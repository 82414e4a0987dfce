// The decom setup as the conversion notes print it: alignment, word lengths
// (with the words that differ from the common length), frame geometry, the
// sync pattern, the subframe ID counter and the rates.
#include "report/notes_setup_blocks.h"

#include <cstring>

#include "archive/ark_header.h"
#include "report/conversion_notes.h"
#include "support/text_format.h"

namespace {

std::string Line(const std::string& text) { return text + kNotesLineEnd; }
std::string Value(double value) { return FormatFixedNumber(9, 0, value); }

std::string SyncPatternText(const syncpatternstruct& sync) {
  return std::string(sync.FrmSyncPat, strnlen(sync.FrmSyncPat, sizeof(sync.FrmSyncPat)));
}

// Words of the minor frame whose bit count differs from the common word
// length, numbered from 1. Only the word table's entries are read.
std::string WordTableBlock(const arkheaderstruct& header) {
  std::string block = Line("    Word Number      Num Bits");
  int32_t words = header.WordsPerMinorFrame;
  if (words > kWordTableEntries) words = kWordTableEntries;
  for (int32_t i = 0; i < words; ++i) {
    const int32_t bits = header.WordTable[i].iWdLen;
    if (bits != header.CommonWordLength) block += Line(NotesWordTableLine(i + 1, bits));
  }
  return block;
}

}  // namespace

std::string NotesSeparatorLine() { return std::string(75, '-'); }

std::string NotesWordTableLine(int32_t word_number, int32_t bit_count) {
  return "    " + PadRight(18, ' ', FormatFixedNumber(5, 0, word_number)) +
         FormatFixedNumber(3, 0, bit_count);
}

void WriteNotesSetupBlocks(TextStream& stream, const arkheaderstruct& header) {
  WriteNotesBlock(stream, Line(NotesSeparatorLine()) + Line("Decom Setup from ORLO_8x Archive") +
                              Line(NotesSeparatorLine()));

  const std::string word_lengths =
      Line("Right Aligned         : " + YesNoText(header.RightAligned)) +
      Line("CWL                   : " + Value(header.CommonWordLength)) +
      Line("Variable Word Lengths : " + YesNoText(header.VariableWordLengths));

  std::string frame = Line("WPF                   : " + Value(header.WordsPerMinorFrame)) +
                      Line("Bits Per Minor        : " + Value(header.BitsPerMinorFrame)) +
                      Line("FSP Leads             : " + YesNoText(header.FspLeads)) +
                      Line("FSP Length            : " + Value(header.SyncPattern.FrmSyncPatLen)) +
                      Line("FSP                   : " + SyncPatternText(header.SyncPattern)) +
                      Line("Num Minor Frames      : " + Value(header.NumMinorFrames));
  if (header.NumMinorFrames > 1) {
    frame += Line("SFID Start Count      : " + Value(header.SfidStartCount)) +
             Line("SFID Word Number      : " + Value(header.SfidWordNumber)) +
             Line("SFID MSB              : " + Value(header.SfidMsb));
  }
  const double bit_rate_mbps = HeaderBitRate(header) * 0.000001;
  frame += Line("Minor Frame Rate (Hz) : " + FormatFixedNumber(9, 2, header.MinorFrameRate)) +
           Line("Bit Rate (MBps)       : " + FormatFixedNumber(9, 5, bit_rate_mbps)) + Line("") +
           Line(NotesSeparatorLine());

  if (header.VariableWordLengths) {
    WriteNotesBlock(stream, word_lengths);
    WriteNotesBlock(stream, WordTableBlock(header));
    WriteNotesBlock(stream, frame);
  } else {
    WriteNotesBlock(stream, word_lengths + frame);
  }
}
