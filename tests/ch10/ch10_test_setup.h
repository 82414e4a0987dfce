// The archive header record the Chapter 10 tests feed the converter: a
// stream of 16-bit words with a 24-bit sync pattern and one minor frame.
#pragma once

#include <cstring>
#include <memory>

#include "archive/ark_header.h"

namespace ch10test {

constexpr double kDefaultStartTime = 86400.0 * 123 + 45296.789;  // day 123, 12:34:56.789

// bits_per_frame / 16 words (at least one) at frame_rate Hz.
inline std::unique_ptr<arkheaderstruct> MakeSetup(int32_t bits_per_frame, double frame_rate,
                                                  int32_t year = 2011,
                                                  double start_time = kDefaultStartTime) {
  auto h = std::make_unique<arkheaderstruct>();
  h->ArchiveYear = year;
  h->StartTime = start_time;
  h->StopTime = start_time + 60.0;
  h->WordsPerMinorFrame = bits_per_frame / 16 > 0 ? bits_per_frame / 16 : 1;
  h->NumMinorFrames = 1;
  h->CommonWordLength = 16;
  for (int i = 0; i < h->WordsPerMinorFrame; ++i) {
    h->WordTable[i].iWdNum = i + 1;
    h->WordTable[i].iWdLen = 16;
  }
  h->BitsPerMinorFrame = bits_per_frame;
  h->MinorFrameRate = frame_rate;
  h->SyncPattern.FrmSyncPatRadix = 2;
  std::strcpy(h->SyncPattern.FrmSyncPat, "111110101111001100100000");
  h->SyncPattern.FrmSyncPatLen = 24;
  return h;
}

}  // namespace ch10test
