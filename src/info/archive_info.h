// What an archive holds, found without converting it: its header values,
// the setup decision a conversion would take, and the frame time line as
// the converter judges it (frames, fill, gaps, damaged stamps, a cut last
// block). The archive is opened and read by the converter's own reader and
// its frames judged by the converter's own frame-time rules, so what this
// says is what a conversion of the archive then does. Nothing is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/conversion_driver.h"

// One stretch of the time line the frame times show as lost: `fill_frames`
// fill frames go in before the frame at `time` (seconds of the year).
struct archivegapstruct {
  double time = 0.0;
  int64_t fill_frames = 0;
  int64_t missed_frames = 0;  // what the step showed, before any cut to the budget
};

// What the setup file beside the archive means to a conversion.
enum class SetupDecision {
  Used,        // "setup-file-used"
  NotFound,    // "no-setup-file": the prompts are asked
  NotUsed,     // "setup-file-not-used": found, refused; the prompts are asked
};
const char* SetupDecisionCode(SetupDecision decision);

struct archiveinfostruct {
  std::string path;
  // False when a conversion would refuse the archive at its open; then
  // `refusal` says why and only the fields before the setup are known.
  bool readable = false;
  std::string refusal;

  // Header values.
  int32_t year = 0;
  double start_time = 0.0;   // seconds of the year, as the notes show them
  double stop_time = 0.0;
  double header_rate = 0.0;  // Hz
  int32_t words_per_frame = 0;
  int32_t frames_per_block = 0;
  int32_t status_bytes = 0;
  std::string recorded_setup_name;

  // Setup.
  std::string setup_file;    // the path a conversion looks for
  SetupDecision setup = SetupDecision::NotFound;
  int32_t setup_check = -1;  // the failed validation check's number, -1 when none is named
  std::string setup_reason;  // why it was not used, in plain words
  bool prompts_asked = false;

  // The time line.
  int64_t blocks = 0;
  int64_t archive_frames = 0;
  int64_t fill_frames = 0;
  int64_t cut_fill_frames = 0;     // left out because the fill budget ran out
  int64_t damaged_stamps = 0;
  int64_t gaps = 0;                // gap verdicts (also those that fill nothing)
  int64_t filled_gaps = 0;         // gaps with fill frames
  archivegapstruct largest_gap;    // the gap with the most fill frames
  double first_frame_time = 0.0;
  double last_frame_time = 0.0;
  double shown_rate = 0.0;         // Hz the frame steps show (median step), 0 when too few
  int64_t partial_block_bytes = 0; // a cut last block, not converted
  int input_error = 0;             // a read of the archive failed: the rest is unknown

  // What a conversion would warn of, in its order.
  std::vector<runwarningstruct> warnings;

  // For the picture: every filled gap and every damaged stamp's time (kept
  // when `keep_time_line` was asked).
  std::vector<archivegapstruct> gap_list;
  std::vector<double> damaged_times;  // where each damaged frame belongs in time
  double frame_period = 0.0;          // seconds
};

// Reads the archive at `path`. False when it cannot be read as a
// conversion would (info.refusal), or a read of it failed on the way
// (info.input_error). Prompts for the setup are not asked: their defaults
// (or the installed answers) are taken, as the frame times do not depend
// on them.
bool InspectArchive(const std::string& path, archiveinfostruct& info, bool keep_time_line = false);
