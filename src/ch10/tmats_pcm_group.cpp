// The TMATS PCM format group ("P-1\"): bit rate, word and frame lengths,
// words whose length differs from the common one, the frame sync pattern and
// the subframe ID counter, all from the decom setup in the archive header.
#include <cstdint>
#include <cstring>
#include <string>

#include "archive/ark_header.h"
#include "archive/decom_setup.h"
#include "ch10/tmats_builder.h"
#include "support/text_format.h"

namespace {

constexpr const char* kPcmPrefix = "P-1";

std::string Number(int width, double value) { return FormatFixedNumber(width, 0, value); }

// Significant bits of an unsigned count: 0 for 0, else the position of the
// highest set bit counted from 1.
int32_t SignificantBits(uint32_t value) {
  int32_t bits = 0;
  while (value != 0) {
    ++bits;
    value >>= 1;
  }
  return bits;
}

// The stored pattern text, never read past its 66-byte field.
std::string SyncPatternText(const syncpatternstruct& sync) {
  return std::string(sync.FrmSyncPat, strnlen(sync.FrmSyncPat, sizeof(sync.FrmSyncPat)));
}

// One pair per word whose length differs from the common word length:
// MFW1-k names the word by its position counted from 1, MFW2-k gives its
// length in bits, k = 1, 2, ... in table order. Words past the end of the
// word table have no entry to read and get no pair.
void AddWordLengthExceptions(std::vector<std::string>& lines, const arkheaderstruct& header) {
  const std::string p = kPcmPrefix;
  int32_t words = header.WordsPerMinorFrame;
  if (words > kWordTableEntries) words = kWordTableEntries;
  int32_t k = 0;
  for (int32_t i = 0; i < words; ++i) {
    const int32_t length = header.WordTable[i].iWdLen;
    if (length == header.CommonWordLength) continue;
    ++k;
    const std::string item = std::to_string(k);
    AddTmatsAttribute(lines, p, "MFW1-" + item, Number(9, static_cast<double>(i) + 1.0));
    AddTmatsAttribute(lines, p, "MFW2-" + item, Number(9, length));
  }
}

// The subframe ID counter block, written when the major frame has more than
// one minor frame. An SFID word number outside the word table has no entry
// to look up: its length is then taken as the common word length and its bit
// order as most significant bit first, the decommutator's normal case.
void AddSubframeIdCounter(std::vector<std::string>& lines, const arkheaderstruct& header) {
  const std::string p = kPcmPrefix;
  const int32_t sfid_word = header.SfidWordNumber;
  const bool in_table = sfid_word >= 0 && sfid_word < kWordTableEntries;
  const int32_t sfid_length = in_table ? header.WordTable[sfid_word].iWdLen : header.CommonWordLength;
  const bool sfid_lsb_first = in_table && header.WordTable[sfid_word].bLSBF != 0;

  const int64_t end_count = header.SfidStartCount == 0
                                ? static_cast<int64_t>(header.NumMinorFrames) - 1
                                : static_cast<int64_t>(header.NumMinorFrames);

  AddTmatsAttribute(lines, p, "ISF1-1", "SFID1");
  AddTmatsAttribute(lines, p, "ISF2-1", "ID");
  AddTmatsAttribute(lines, p, "IDC1-1", Number(9, sfid_word));
  AddTmatsAttribute(lines, p, "IDC2-1", Number(9, sfid_length));
  AddTmatsAttribute(lines, p, "IDC3-1", Number(9, header.SfidMsb));
  AddTmatsAttribute(lines, p, "IDC4-1",
                    Number(9, SignificantBits(static_cast<uint32_t>(end_count))));
  AddTmatsAttribute(lines, p, "IDC5-1", sfid_lsb_first ? "L" : "M");
  AddTmatsAttribute(lines, p, "IDC6-1", Number(9, header.SfidStartCount));
  AddTmatsAttribute(lines, p, "IDC7-1", "1");
  AddTmatsAttribute(lines, p, "IDC8-1", Number(9, static_cast<double>(end_count)));
  AddTmatsAttribute(lines, p, "IDC9-1", Number(12, header.NumMinorFrames));
  AddTmatsAttribute(lines, p, "IDC10-1", "INC");
}

}  // namespace

int32_t TmatsSyncWordCount(int16_t sync_length_bits, int32_t common_word_length) {
  if (common_word_length <= 0) return 1;
  const int32_t length = sync_length_bits;
  int32_t words = length / common_word_length;
  if (length % common_word_length > 0) ++words;
  return words;
}

void AddTmatsPcmFormatGroup(std::vector<std::string>& lines, const arkheaderstruct& header,
                            const std::string& /*data_source_id*/,
                            const std::string& pcm_data_link_name,
                            const std::string& /*time_data_link_name*/) {
  const std::string p = kPcmPrefix;
  const auto nested = [](const char* outer, const char* inner) {
    return std::string(outer) + kTmatsSeparator + inner;
  };

  AddTmatsAttribute(lines, p, "DLN", pcm_data_link_name);
  AddTmatsAttribute(lines, p, "D1", "NRZ-L");
  const double bit_rate = HeaderBitRate(header);
  AddTmatsAttribute(lines, p, "D2", Number(12, bit_rate));
  AddTmatsAttribute(lines, p, "D3", "U");
  AddTmatsAttribute(lines, p, "D4", "N");
  AddTmatsAttribute(lines, p, "D5", "N");
  AddTmatsAttribute(lines, p, "D6", "N");
  AddTmatsAttribute(lines, p, "D7", "N");
  AddTmatsAttribute(lines, p, "D8", "N/A");
  AddTmatsAttribute(lines, p, "TF", header.WordsPerMinorFrame <= 65535 ? "ONE" : "TWO");
  AddTmatsAttribute(lines, p, "F1", Number(5, header.CommonWordLength));
  AddTmatsAttribute(lines, p, "F2", "M");
  AddWordLengthExceptions(lines, header);
  AddTmatsAttribute(lines, p, "F3", "NO");
  AddTmatsAttribute(lines, p, "F4", "L");
  AddTmatsAttribute(lines, p, nested("MF", "N"), Number(8, header.NumMinorFrames));

  // Words in the minor frame count the whole sync pattern as one word, as
  // Chapter 10 readers expect when they size frames from this attribute.
  const int64_t sync_words =
      TmatsSyncWordCount(header.SyncPattern.FrmSyncPatLen, header.CommonWordLength);
  const int64_t words_in_minor_frame =
      static_cast<int64_t>(header.WordsPerMinorFrame) - sync_words + 1;
  AddTmatsAttribute(lines, p, "MF1", Number(8, static_cast<double>(words_in_minor_frame)));
  AddTmatsAttribute(lines, p, "MF2", Number(12, header.BitsPerMinorFrame));
  AddTmatsAttribute(lines, p, "MF3", "FPT");
  AddTmatsAttribute(lines, p, "MF4", Number(12, header.SyncPattern.FrmSyncPatLen));

  // The pattern in binary digits, most significant first, without its
  // leading zeros; the conversion's own success is not needed here.
  std::string binary64;
  SyncPatternToBinary(SyncPatternText(header.SyncPattern), header.SyncPattern.FrmSyncPatRadix,
                      binary64);
  AddTmatsAttribute(lines, p, "MF5", TrimLeadingChar('0', binary64));

  const bool has_subframes = header.NumMinorFrames > 1;
  AddTmatsAttribute(lines, p, nested("ISF", "N"), has_subframes ? "1" : "0");
  if (has_subframes) AddSubframeIdCounter(lines, header);
}
