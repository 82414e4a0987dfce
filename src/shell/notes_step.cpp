// The notes step: the conversion notes written after the pass, complete or
// not.
#include "archive/archive_reader.h"
#include "report/conversion_notes.h"
#include "shell/conversion_driver.h"
#include "support/platform_file.h"
#include "support/text_stream.h"

void conversiondriverclass::WriteConversionNotes() {
  // Without the outputs taken nothing is written (the reason is logged).
  if (!archive_ || !outputs_.Active()) return;
  const std::string& path = WritingNotesFile();

  TextStream stream;
  if (!stream.Create(path)) {
    ReportOutputFailure("Could not create the conversion notes file ", path, stream.Error());
    return;
  }
  WriteCvtNotes(stream, *archive_, pack_.get(), converter_.get());
  // What went wrong is part of the report: the warnings, and for a run that
  // did not complete, a last line that says so.
  std::string closing;
  for (const runwarningstruct& warning : warnings_) closing += kNotesWarningPrefix + warning.text + "\r\n";
  if (output_error_ != 0) {
    closing += std::string(kNotesOutputFailedText) + "\r\n";
  } else if (abort_requested_) {
    closing += std::string(kNotesOperatorAbortText) + "\r\n";
  }
  if ((output_error_ != 0 || abort_requested_) && outputs_.Active()) {
    // Where these notes and the Chapter 10 file will be found.
    const outputnamesstruct& partial = outputs_.Partial();
    closing += kKeptPartialPrefix + partial.Ch10File + " and " + partial.NotesFile +
               kKeptPartialSuffix + ch10_file_name_ + " and " + notes_file_name_ + "\r\n";
  }
  if (!closing.empty()) WriteNotesBlock(stream, closing);
  if (!stream.Close()) {
    ReportOutputFailure("Could not write the conversion notes file ", path, stream.Error());
  }
}
