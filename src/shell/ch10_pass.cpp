// Pass 2 (pack file to Chapter 10 file, with a time packet about once per
// second of archive time) and the notes step.
#include <cerrno>

#include "archive/archive_reader.h"
#include "ch10/ch10_converter.h"
#include "report/conversion_notes.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "support/error_log.h"
#include "support/platform_file.h"
#include "support/text_stream.h"
#include "support/time_keeping.h"

namespace {
// A time packet follows the PCM packet that brings the archive time this far
// past the previous time packet (compared on the sums as accumulated).
constexpr double kTimePacketSpacing = 0.9;
}  // namespace

void conversiondriverclass::WriteCh10File() {
  if (!archive_) return;
  pass_ = ConversionPass::WriteCh10;
  ch10_view_.reset();  // the view reads the converter: it goes first
  converter_.reset();
  converter_ = std::make_unique<ch10convertprocessclass>(pack_file_name_, ch10_file_name_,
                                                         archive_->Header());
  ch10convertprocessclass& cvt = *converter_;
  if (view_factory_) {
    ch10_view_ = view_factory_->CreateCh10View(cvt);
    if (ch10_view_) ch10_view_->FirstShow();
  }

  // Both failures are logged by the converter. Without its pack file the
  // Chapter 10 file holds no data, so the run cannot count as complete.
  if (!cvt.OpenPackFile(pack_file_name_)) NoteOutputFailure(ENOENT);
  cvt.CreateCh10File(ch10_file_name_);
  if (cvt.OutputFailed()) NoteOutputFailure(cvt.OutputError());

  cvt.WriteTmatsPacket();
  cvt.SetUpTiming();
  const uint8_t leap = IsLeapYear(archive_->Header().ArchiveYear) ? 1 : 0;
  cvt.WriteTimePacket(leap, cvt.RelativeSeconds, cvt.CurrentArchiveTime);
  double last_time_packet_time = cvt.CurrentArchiveTime;
  if (cvt.OutputFailed()) NoteOutputFailure(cvt.OutputError());

  const int32_t words = cvt.WordsPerPacket;
  const int64_t full_packet_bytes = 2 * static_cast<int64_t>(words);
  int64_t data_bytes_written = 0;
  int counter = 0;
  bool done = false;
  while (!done) {
    if (PumpAndCheckStop(counter)) break;
    cvt.WritePcmPacket(words, done, cvt.RelativeSeconds);
    cvt.PcmBytesConverted += static_cast<double>(full_packet_bytes);
    if (cvt.OutputFailed()) {
      NoteOutputFailure(cvt.OutputError());  // the writer logged it
      break;
    }
    if (done) break;
    data_bytes_written += cvt.LastPacketDataBytes;

    // A full packet lasts the packet duration; the short last packet of a
    // pack file that ends inside a packet lasts only as long as its data.
    double duration = cvt.LastPacketDataBytes == full_packet_bytes ? cvt.PacketDuration
                                                                   : cvt.LastPacketDuration;
    cvt.CurrentArchiveTime += duration;
    cvt.RelativeSeconds += duration;
    if (cvt.RelativeSeconds > cvt.CounterWrapPeriod) cvt.RelativeSeconds -= cvt.CounterWrapPeriod;
    if (cvt.CurrentArchiveTime - last_time_packet_time >= kTimePacketSpacing) {
      cvt.WriteTimePacket(leap, cvt.RelativeSeconds, cvt.CurrentArchiveTime);
      cvt.TimePacketCount += 1.0;
      last_time_packet_time = cvt.CurrentArchiveTime;
    }
    cvt.PcmPacketCount += 1.0;
    if (cvt.OutputFailed()) {
      NoteOutputFailure(cvt.OutputError());
      break;
    }
  }

  // The input ends early only on a read error (logged by the converter):
  // the Chapter 10 file then lacks data, which is no complete conversion.
  if (done && static_cast<double>(data_bytes_written) < cvt.PackFileSize) NoteOutputFailure(EIO);

  cvt.Ch10StopTime = cvt.CurrentArchiveTime;
  cvt.ClosePackFile();
  // The option is read now, so a change during the run takes effect here.
  if (!options_.Options.RetainTempArkPackFile && FileExists(pack_file_name_)) {
    DeleteFileAt(pack_file_name_);
  }
  cvt.CloseCh10File();
  if (cvt.OutputFailed()) NoteOutputFailure(cvt.OutputError());
}

void conversiondriverclass::WriteConversionNotes() {
  if (!archive_ || notes_file_name_.empty()) return;
  if (FileExists(notes_file_name_)) DeleteFileAt(notes_file_name_);

  TextStream stream;
  if (!stream.Create(notes_file_name_)) {
    ReportOutputFailure("Could not create the conversion notes file ", notes_file_name_,
                        stream.Error());
    return;
  }
  WriteCvtNotes(stream, *archive_, archive_->Pack(), converter_.get());
  // What went wrong is part of the report: the warnings, and for a run that
  // did not complete, a last line that says so.
  std::string closing;
  for (const runwarningstruct& warning : warnings_) closing += kNotesWarningPrefix + warning.text + "\r\n";
  if (output_error_ != 0) {
    closing += std::string(kNotesOutputFailedText) + "\r\n";
  } else if (abort_requested_) {
    closing += std::string(kNotesOperatorAbortText) + "\r\n";
  }
  if (!closing.empty()) WriteNotesBlock(stream, closing);
  if (!stream.Close()) {
    ReportOutputFailure("Could not write the conversion notes file ", notes_file_name_,
                        stream.Error());
  }
}
