// The conversion notes: where the Chapter 10 file came from, the archive's
// and the Chapter 10 file's time spans and counts, then the decom setup.
#include "report/conversion_notes.h"

#include "archive/archive_reader.h"
#include "ch10/ch10_converter.h"
#include "ch10/tmats_builder.h"
#include "pack/pack_converter.h"
#include "report/notes_setup_blocks.h"
#include "support/profile_files.h"
#include "support/text_format.h"
#include "support/text_stream.h"

namespace {

std::string Line(const std::string& text) { return text + kNotesLineEnd; }
std::string Time(double seconds) { return FormatDayTimeMicro(seconds); }
std::string Count(double value) { return FormatFixedNumber(16, 0, value); }

std::string SourceBlock(const std::string& archive_path, int32_t utc_year,
                        double local_time_of_year) {
  std::string date;
  std::string time;
  FormatTmatsDate(utc_year, local_time_of_year, date, time);
  return Line("Ch10 file converted from a Quorvant ORLO_8X .Ark archive file.") +
         Line("Converted from " + archive_path) +
         Line("Converted on " + date + " at " + time) + Line(NotesSeparatorLine());
}

std::string ArchiveBlock(const arkheaderstruct& header, const notesframecounts& frames) {
  return Line("Ark file Start Time         : " + Time(header.StartTime)) +
         Line("Ark file Stop Time          : " + Time(header.StopTime)) +
         Line("Ark file Total Time         : " + Time(header.StopTime - header.StartTime)) +
         Line("Ark file Vald Frame Count   : " + Count(frames.valid)) +
         Line("Ark file Invald Frame Count : " + Count(frames.missed)) +
         Line("Ark file Total Frame Count  : " + Count(frames.total)) + Line(NotesSeparatorLine());
}

std::string Ch10Block(const ch10convertprocessclass* converter) {
  const double start = converter ? converter->Ch10StartTime() : 0.0;
  const double stop = converter ? converter->Ch10StopTime() : 0.0;
  const double time_packets = converter ? static_cast<double>(converter->TimePacketCount()) : 0.0;
  const double pcm_packets = converter ? static_cast<double>(converter->PcmPacketCount()) : 0.0;
  return Line("Ch10 file Start Time        : " + Time(start)) +
         Line("Ch10 file Stop Time         : " + Time(stop)) +
         Line("Ch10 file Total Time        : " + Time(stop - start)) +
         Line("Ch10 file Time Packet Count : " + Count(time_packets)) +
         Line("Ch10 file PCM Packet Count  : " + Count(pcm_packets)) +
         Line(NotesSeparatorLine());
}

}  // namespace

notesframecounts PackFrameCounts(const orloarkpackclass* pack) {
  notesframecounts frames;
  if (pack) {
    frames.valid = pack->ValidFrameCount();
    frames.missed = pack->MissedFrameCount();
    frames.total = pack->TotalFrameCount();
  }
  return frames;
}

void WriteNotesBlock(TextStream& stream, const std::string& block_text) {
  stream.Write(block_text);
  WriteTextLine(stream, "");
}

void WriteCvtNotes(TextStream& stream, const orloarkclass& archive,
                   const orloarkpackclass* pack, const ch10convertprocessclass* converter) {
  int32_t utc_year = 0;
  double local_time_of_year = 0.0;
  ReadConversionClock(utc_year, local_time_of_year);
  WriteCvtNotesAt(stream, archive.FileName(), archive.Header(), PackFrameCounts(pack), converter,
                  utc_year, local_time_of_year);
}

void WriteCvtNotesAt(TextStream& stream, const std::string& archive_path,
                     const arkheaderstruct& header, const notesframecounts& frames,
                     const ch10convertprocessclass* converter, int32_t utc_year,
                     double local_time_of_year) {
  WriteNotesBlock(stream, SourceBlock(archive_path, utc_year, local_time_of_year));
  WriteNotesBlock(stream, ArchiveBlock(header, frames));
  WriteNotesBlock(stream, Ch10Block(converter));
  WriteNotesSetupBlocks(stream, header);
}
