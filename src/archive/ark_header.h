// The archive header record: what the archive's text header says, completed
// with the decom setup (word table, bits per minor frame, sync pattern).
// Read by the packed-bit converter, the Chapter 10 writer, the TMATS builder
// and the conversion notes.
#pragma once

#include <cstdint>
#include <string>

#include "archive/decom_setup_record.h"

// Every field of the header record but the word table, so that the record
// can be rebuilt without clearing all of the table (see arkheaderstruct).
struct arkheaderfieldsstruct {
  int32_t HeaderValue1 = 0;          // value line 1, kept
  int32_t ArchiveYear = 0;           // from value line 2
  double StartTime = 0.0;            // day-of-year seconds; finally the first frame's time
  double StopTime = 0.0;             // day-of-year seconds
  int32_t BlockSize = 0;             // bytes per frame block (value line 4)
  int32_t HeaderValue6 = 0;
  int32_t SerialBytesPerBlock = 0;   // value line 7
  int32_t StatusBytesPerBlock = 0;   // value line 8, 0 to 1024
  int32_t HeaderValue9 = 0;
  int32_t WordsPerMinorFrame = 0;    // value line 10 (WPF)
  int32_t NumMinorFrames = 0;        // value line 11
  int32_t SfidStartCount = 0;        // value line 12
  int32_t SfidWordNumber = 0;        // value line 13
  bool RightAligned = false;         // value line 14 is exactly "YES"
  int32_t FramesPerBlock = 0;        // value line 15
  int32_t FrameHeaderWords = 0;      // always 5
  double MinorFrameRate = 0.0;       // Hz, value line 20 + n
  std::string SetupFileName;         // value line 18
  std::string DescriptionTexts[3];   // value lines 22 + n to 24 + n
  std::string SpareText;             // never set

  // Decom setup part.
  int32_t CommonWordLength = 0;      // bits
  int32_t SfidMsb = 0;               // start bit of the SFID field
  bool VariableWordLengths = false;  // a word is not of the common length
  int32_t BitsPerMinorFrame = 0;     // sum of the lengths of words 0 .. WPF - 1
  bool FspLeads = false;             // the sync pattern leads the frame
  syncpatternstruct SyncPattern = {};  // radix code, text, length in bits

  int32_t HeaderValue16 = 0;
  int32_t HeaderValue17 = 0;
  std::string StatusDescriptions[kStatusDescriptionCount];  // value lines 19 .. 18 + n
};

// The whole record. The word table is nearly all of it (16,383 entries,
// 262 KB), and an open fills only the frame's words, so the archive that
// owns the record clears just the entries it filled before.
struct arkheaderstruct : arkheaderfieldsstruct {
  decomwordstruct WordTable[kWordTableEntries] = {};  // entries 0 .. WPF - 1 meaningful
};

// The PCM stream's bit rate in bits per second: every minor frame's bits at
// the minor frame rate. Not checked: 0, negative or not finite when the
// header's rate is; callers that divide by it check it first.
inline double HeaderBitRate(const arkheaderstruct& header) {
  return static_cast<double>(header.BitsPerMinorFrame) * header.MinorFrameRate;
}
