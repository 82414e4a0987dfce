// The TMATS text of a written Chapter 10 file, read with the self-check's
// own reader and held against the archive's setup, so that a decoder driven
// by the TMATS alone recovers the frames the PCM packets hold:
//   - the recorder group belongs to the general group's data source, and
//     its channel 2 (the PCM packets' channel) is a PCM input in throughput
//     mode whose data link leads to the PCM format group;
//   - every attribute of the PCM format group agrees with the setup: bit
//     rate, words and bits per minor frame, the common word length and the
//     length of each word, the frame sync pattern and its length, the
//     words of the minor frame with the sync counted as one, the subframe
//     ID counter, and the constant codes of the stream's form (NRZ-L, not
//     randomised, most significant bit first, ...); no other attribute is
//     in that group.
// It shares no code with the TMATS builder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct arkheaderstruct;

// `text` is the TMATS text (the setup packet's body after its
// channel-specific word) and `text_offset` the file offset of its first
// byte. True when it agrees; otherwise false with the first difference in
// the file: the file offset of the attribute and a text that names its
// code (a missing attribute is placed at the end of the text).
bool CheckTmatsText(const uint8_t* text, size_t size, int64_t text_offset,
                    const arkheaderstruct& header, int64_t& offset, std::string& difference);
