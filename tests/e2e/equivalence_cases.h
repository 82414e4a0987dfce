// The spread of generated archive shapes whose whole conversions the
// equivalence test pins byte for byte; the self-check's TMATS test passes
// on every one of them too.
#pragma once

#include <functional>
#include <vector>

#include "mkarchive/archive_generator.h"

namespace e2e {

struct OutputCase {
  const char* name;
  std::function<void(mkarchive::ArchiveSettings&)> shape;
};

inline mkarchive::ArchiveSettings EquivalenceBaseSettings() {
  mkarchive::ArchiveSettings s;
  s.setup_file.write = true;
  s.setup_file_name = "C:\\DECOM\\SETUPS\\REF.B50";
  s.seed = 11;
  return s;
}

inline const std::vector<OutputCase>& EquivalenceCases() {
  static const std::vector<OutputCase> cases = {
      // 16-bit words, 1.024 Mbit/s, two gaps (one of 3,000 frames).
      {"W16GAPS", [](auto& s) {
         s.words_per_frame = 64;
         s.frame_rate_hz = 1000.0;
         s.frame_count = 2500;
         s.gaps = {{300, 1}, {900, 3000}};
       }},
      // 12-bit words, a gap, a last block cut short inside its frames.
      {"W12CUT", [](auto& s) {
         s.words_per_frame = 100;
         s.common_word_length = 12;
         s.sfid_word = 4;  // after the three words of the sync pattern
         s.dirty_unused_bits = true;
         s.frame_rate_hz = 800.0;
         s.frame_count = 2007;
         s.gaps = {{500, 7}};
         s.last_block = mkarchive::LastBlockFill::kCutShort;
       }},
      // 8-bit words, an odd word count, 13,200 bit/s: small packets, 20 s.
      {"W8SLOW", [](auto& s) {
         s.words_per_frame = 33;
         s.common_word_length = 8;
         s.sync_bits = 24;
         s.sync_pattern = 0xFAF320;
         s.sfid_word = 4;
         s.frame_rate_hz = 50.0;
         s.frame_count = 1000;
         s.frames_per_block = 4;
         s.gaps = {{10, 2}, {400, 1}};
       }},
      // A mixed word table with left- and right-justified words.
      {"MIXED", [](auto& s) {
         s.words_per_frame = 37;
         s.frame_rate_hz = 500.0;
         s.frame_count = 1500;
         const int32_t lengths[] = {16, 12, 8, 10, 14, 9, 16, 3, 13, 11};
         for (int32_t w = 0; w < 37; ++w) {
           s.word_lengths.push_back(w < 2 ? 16 : lengths[w % 10]);
           s.left_justified.push_back(w >= 2 && w % 3 == 0);
         }
         s.dirty_unused_bits = true;
         s.gaps = {{700, 4}};
       }},
      // 9,001 words per frame: groups of one frame, 12-bit words, so the
      // bits of a frame run on into the next group's words.
      {"WPF9001", [](auto& s) {
         s.words_per_frame = 9001;
         s.common_word_length = 12;
         s.sfid_word = 4;
         s.frame_rate_hz = 10.0;
         s.frames_per_block = 2;
         s.frame_count = 40;
         s.gaps = {{13, 1}};
       }},
      // 335 Mbit/s: packets at the 131,072-word cap and a short last one.
      {"HIGHRATE", [](auto& s) {
         s.words_per_frame = 2048;
         s.frame_rate_hz = 10240.0;
         s.frames_per_block = 8;
         s.frame_count = 420;
         s.gaps = {{100, 3}};
       }},
      // Exactly 16 full packets of 1,600 words and nothing after them.
      {"EXACT", [](auto& s) {
         s.words_per_frame = 16;
         s.frame_rate_hz = 1000.0;
         s.frame_count = 1600;
       }},
      // One block: less than one packet.
      {"TINY", [](auto& s) {
         s.words_per_frame = 16;
         s.frame_count = 16;
       }},
      // Blocks of an odd size (13 status bytes), so that every other block
      // and its frames lie at odd addresses in the read-ahead buffer.
      {"ODDBLOCK", [](auto& s) {
         s.words_per_frame = 48;
         s.common_word_length = 10;
         s.sfid_word = 5;  // after the four words of the sync pattern
         s.status_bytes_per_block = 13;
         s.frame_count = 3000;
         s.gaps = {{700, 2}};
       }},
      // Damaged frame times: a repeated time, a backward clock jump and a
      // last block filled with zero frames.
      {"DAMAGED", [](auto& s) {
         s.words_per_frame = 24;
         s.common_word_length = 12;
         s.sfid_word = 4;
         s.frame_rate_hz = 1000.0;
         s.frame_count = 1203;
         s.time_shifts = {{200, -1000, false}, {600, -5000, true}};
         s.last_block = mkarchive::LastBlockFill::kZeroFrames;
       }},
  };
  return cases;
}

}  // namespace e2e
