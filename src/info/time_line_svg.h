// The archive's time line as an SVG picture: its time from start to stop
// as a bar, the stretches with frames in one colour, the filled gaps in
// another, damaged stamps as marks above the bar, a time axis in
// DDD:HH:MM:SS and a title naming the archive. Gaps (and marks) that fall
// into one pixel, or touch, are merged, so the picture stays readable and
// small for one gap or for thousands.
#pragma once

#include <string>

#include "info/archive_info.h"

inline constexpr const char* kGapMapExtension = "gaps.svg";

// The gaps as the picture draws them: one element per merged gap.
struct timelinespanstruct {
  double x = 0.0;      // left edge, pixels
  double width = 0.0;  // at least one pixel
  int64_t fill_frames = 0;
  int64_t gaps = 0;    // gaps merged into it
};

// The picture for an inspection made with its time line kept.
std::string TimeLineSvg(const archiveinfostruct& info);

// Writes the picture to `path` (under a temporary name, then renamed);
// false, with the error number, when it cannot be written.
bool WriteTimeLineSvg(const archiveinfostruct& info, const std::string& path, int& error_number);
