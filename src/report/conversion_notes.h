// The conversion-notes report: a CR LF text file that summarises the source
// archive, the Chapter 10 result and the decom setup.
#pragma once

#include <cstdint>
#include <string>

class TextStream;
class orloarkclass;
class orloarkpackclass;
class ch10convertprocessclass;
struct arkheaderstruct;

// The frame counts of the packed-bit pass, as the notes give them.
struct notesframecounts {
  double valid = 0.0;
  double missed = 0.0;
  double total = 0.0;
};
// The counts of a packed-bit converter; zeros without one.
notesframecounts PackFrameCounts(const orloarkpackclass* pack);

// Writes the whole report to an open stream: the archive's times and setup,
// the frame counts of its packed-bit converter and the Chapter 10 writer's
// times and packet counts. A missing converter object reads as zeros.
void WriteCvtNotes(TextStream& stream, const orloarkclass& archive,
                   const orloarkpackclass* pack, const ch10convertprocessclass* converter);
// The same from what it reports: the archive's path and header record and
// the pass's frame counts, with the conversion clock given: the UTC year and
// the local time as day-of-year seconds (WriteCvtNotes reads the clock and
// calls this).
void WriteCvtNotesAt(TextStream& stream, const std::string& archive_path,
                     const arkheaderstruct& header, const notesframecounts& frames,
                     const ch10convertprocessclass* converter, int32_t utc_year,
                     double local_time_of_year);
// Writes the block text (already ending in CR LF) and one more CR LF.
void WriteNotesBlock(TextStream& stream, const std::string& block_text);
