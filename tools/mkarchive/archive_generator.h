// Synthetic archive generator: writes ".Ark" archives (text header and frame
// blocks) and ".B50" decommutator setup files with known content, and gives
// back the frame sequence an archive holds so that tests can compare what a
// conversion produced.
//
// Archive layout written:
//   magic line, CR LF
//   25 + n value lines "KEY: value", CR LF each (n = status bytes / 8)
//   one terminator byte (LF or NUL)
//   blocks of 12 + S + T bytes: block time (double, the time of the block's
//   first frame), two spare bytes 0, run count (block index mod 65536),
//   S serial bytes (frames per block frames of WPF + 5 words, then
//   `serial_slack_bytes` zero bytes), T status bytes (pseudo-random).
//
// Frames are numbered by a nominal index 0, 1, 2, ...: frame i is due at
// start + i / rate (rounded to whole microseconds, the resolution of the
// frame header). Gaps drop nominal frames; time shifts move single frames
// (or every later frame) to model repeated and backward times. Words:
// sync pattern in the leading words, the SFID counter word, the rest
// pseudo-random from the seed and the nominal index (so a frame's words do
// not depend on which other frames were dropped).
//
// A last block that the frames do not fill is completed as `last_block`
// says: kContinue (default) writes further frames of the sequence until the
// block is full; kZeroFrames fills the remaining frame slots with zero bytes
// (the reader sees them as frames of time 0); kCutShort ends the file after
// the last real frame (an incomplete last block).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/decom_setup_record.h"

namespace mkarchive {

// Nominal frames [first, first + count) are not written (recorder lost them).
struct FrameGap {
  int64_t first = 0;
  int64_t count = 0;
};

// The time of nominal frame `frame` moves by `microseconds` (negative:
// backward). With `persistent` every later frame moves too (a clock jump).
// A shift of minus one frame period repeats the previous frame's time.
struct FrameTimeShift {
  int64_t frame = 0;
  int64_t microseconds = 0;
  bool persistent = false;
};

// A bit error in a stored frame header: byte `byte` (0 to 9) of nominal
// frame `frame` is XORed with `mask` after encoding. Flipping a bit of a
// BCD time digit damages that frame's time stamp only: FrameRecord.time and
// the block time keep the undamaged time.
struct FrameHeaderFlip {
  int64_t frame = 0;
  int32_t byte = 0;
  uint8_t mask = 0;
};

enum class LastBlockFill { kContinue, kZeroFrames, kCutShort };

// The ".B50" setup file written beside the archive.
struct SetupFileSettings {
  bool write = false;
  int32_t version = 3;                 // used by the reader only when >= 2
  uint8_t valid = 1;                   // used by the reader only when not 0
  int32_t prefix_values[5] = {0, 0, 0, 0, 0};  // the five skipped values
  // Bytes of the record written after the 29-byte prefix; -1 = all 262,368.
  int64_t record_bytes = -1;
  // Applied to the record after it was derived from the archive settings
  // (MakeSetupRecord): any field may be changed here.
  std::function<void(decomsetupstruct&)> edit;
};

struct ArchiveSettings {
  // Frame geometry.
  int32_t words_per_frame = 16;          // WPF, 1 .. 16383
  int32_t common_word_length = 16;       // bits, 1 .. 16
  std::vector<int32_t> word_lengths;     // per word; empty or shorter: common length
  std::vector<uint8_t> left_justified;   // per word; not 0: bits at the top of the container
  bool dirty_unused_bits = false;        // fill the container bits outside the word with noise
  int32_t frames_per_block = 16;
  int32_t status_bytes_per_block = 0;    // T, 0 .. 1024 (n = T / 8 description lines)
  int32_t serial_slack_bytes = 0;        // zero bytes after the frames in the serial data
  std::vector<std::string> status_descriptions;  // empty: "STATUS WORD k"

  // Time.
  double frame_rate_hz = 1000.0;
  int32_t year = 2024;
  double start_time = 123 * 86400.0 + 12 * 3600.0 + 34 * 60.0 + 56.0;  // seconds of the year
  int64_t frame_count = 100;             // archive frames (before the last block fill)
  std::vector<FrameGap> gaps;
  std::vector<FrameTimeShift> time_shifts;
  LastBlockFill last_block = LastBlockFill::kContinue;
  std::optional<double> last_block_time; // overrides the last block's time field
  std::vector<FrameHeaderFlip> header_flips;
  int64_t cut_tail_bytes = 0;            // bytes cut from the end of the written file

  // Frame content.
  bool sync_enabled = true;              // sync pattern in the leading words
  uint64_t sync_pattern = 0xFE6B2840;    // right-aligned pattern bits
  int32_t sync_bits = 32;                // 1 .. 64
  int32_t sfid_word = 3;                 // 1-based word number of the SFID counter; 0: none
  int32_t num_minor_frames = 64;         // counter cycle length (header line 11)
  int32_t sfid_start_count = 0;          // first counter value (header line 12)
  int32_t status_a_every = 0;            // frame header flag A on every k-th frame; 0: never
  int32_t status_b_every = 0;            // flag B likewise
  uint64_t seed = 1;

  // Header text.
  int32_t header_value_1 = 8;
  int32_t header_value_6 = 0;
  int32_t header_value_9 = 0;
  int32_t header_value_16 = 0;
  int32_t header_value_17 = 0;
  bool right_aligned = true;             // line 14 "YES" / "NO"
  std::string setup_file_name = "C:\\DECOM\\SETUPS\\FLIGHT.B50";  // line 18
  std::string description_texts[3] = {"SYNTHETIC ARCHIVE", "ORLOVARNEL MKARCHIVE", "TEST DATA"};
  std::optional<double> header_stop_time;  // line 3; default: the last frame's time
  // Full replacement of value lines: (1-based line number, whole line text).
  std::vector<std::pair<int32_t, std::string>> line_overrides;
  std::vector<std::string> extra_value_lines;  // appended after line 25 + n
  std::string line_end = "\r\n";
  uint8_t terminator = 0x0A;             // LF or NUL

  SetupFileSettings setup_file;
};

// One archive frame as the archive holds it.
struct FrameRecord {
  int64_t nominal_index = 0;
  int64_t time_us = 0;        // microseconds of the year, as encoded
  double time = 0.0;          // as the frame header decodes
  int32_t sfid = 0;           // counter value (bits 0..9 of the status word)
  uint16_t status_word = 0;
  std::vector<uint16_t> words;  // WPF containers as stored
};

// Numbers derived from an archive's settings.
struct ArchiveLayout {
  int32_t serial_bytes = 0;    // S
  int32_t block_size = 0;      // 12 + S + T
  int64_t frames_written = 0;  // frame slots written, last block fill included
  int64_t blocks = 0;          // blocks begun (the last may be cut short)
  int64_t file_bytes = 0;
  int64_t header_bytes = 0;    // offset of the first block
  double first_frame_time = 0.0;
  double last_frame_time = 0.0;
  double last_block_time = 0.0;  // the last block's time field
};

// Returns "" when the settings can be written, else what is wrong with them.
std::string CheckSettings(const ArchiveSettings& settings);

// Word length and justification of word w (0-based) under the settings.
int32_t WordLength(const ArchiveSettings& settings, int32_t w);
bool WordLeftJustified(const ArchiveSettings& settings, int32_t w);

// Walks the frames of an archive in file order without allocating per frame.
class FrameSequence {
 public:
  // Without `with_words` only times, SFID and status words are produced
  // (fast walks for the layout).
  explicit FrameSequence(const ArchiveSettings& settings, bool with_words = true);
  ~FrameSequence();
  FrameSequence(const FrameSequence&) = delete;
  FrameSequence& operator=(const FrameSequence&) = delete;

  // The next archive frame (the last block fill of kContinue included, the
  // zero frames of kZeroFrames not). `frame.words` is resized once.
  bool Next(FrameRecord& frame);
  // Writes the 10-byte frame header and the WPF words of `frame`
  // little-endian into `out` ((WPF + 5) x 2 bytes).
  void Encode(const FrameRecord& frame, uint8_t* out) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The archive's frames in file order (kZeroFrames slots included as frames
// of zero bytes, so this is exactly what a block reader sees).
std::vector<FrameRecord> ExpectedFrames(const ArchiveSettings& settings);
ArchiveLayout ComputeLayout(const ArchiveSettings& settings);

// Frames (whole blocks) that make an archive of at most about `bytes`.
int64_t FramesForSize(const ArchiveSettings& settings, int64_t bytes);

// The value lines (without line ends) and the whole header bytes.
std::vector<std::string> HeaderValueLines(const ArchiveSettings& settings);
std::string HeaderText(const ArchiveSettings& settings);

// Encodes microseconds of the year as the 10-byte frame header (BCD) and
// decodes such a time the way the reader does.
void EncodeFrameHeader(int64_t time_us, uint16_t status_word, uint8_t out[10]);
double FrameHeaderTime(int64_t time_us);

// Writes the archive, and the setup file when settings.setup_file.write is set
// (in the archive's folder, named by the base name of setup_file_name +
// ".B50"). False with `error` set on failure.
bool WriteArchive(const std::string& path, const ArchiveSettings& settings, std::string* error = nullptr);

// The setup record the archive settings imply: defaults, then words per
// frame, common and per-word lengths, justification, sync pattern, SFID word,
// number of subframes, bit rate; then settings.setup_file.edit.
void MakeSetupRecord(const ArchiveSettings& settings, decomsetupstruct& record);
// Writes a ".B50" file: the 29-byte prefix and `record_bytes` of the record.
bool WriteSetupFile(const std::string& path, const SetupFileSettings& file,
                    const decomsetupstruct& record, std::string* error = nullptr);
// Path of the setup file for an archive path under the settings.
std::string SetupFilePath(const std::string& archive_path, const ArchiveSettings& settings);

// Cheap deterministic mixing function (splitmix64).
inline uint64_t Mix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

}  // namespace mkarchive
