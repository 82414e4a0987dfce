// A conversion run: the begin banner, pass 1 (archive frames to the pack
// file), pass 2 and the notes step, then the outcome and the end banner.
// Both passes run on the caller's thread and hand control to the event pump
// every 101 iterations, so that Cancel and the progress views are served.
#include <cerrno>

#include "archive/archive_reader.h"
#include "pack/pack_converter.h"
#include "shell/conversion_driver.h"
#include "support/beeper.h"
#include "support/error_log.h"

bool conversiondriverclass::PumpAndCheckStop(int& counter) {
  if (counter > kPumpCadence) {
    if (pump_events_) pump_events_();
    counter = 0;
  }
  ++counter;
  return StopRequested();
}

ConversionOutcome conversiondriverclass::RunConversion() {
  // A run requested from inside the event pump of a run in progress, or
  // without an archive ready to convert, is refused.
  if (running_ || !ready_) {
    BeepError();
    CallHook(hooks_.Refresh);
    return ConversionOutcome::Refused;
  }

  abort_requested_ = false;
  running_ = true;
  outcome_text_.clear();
  CallHook(hooks_.RunStarted);

  LogInfo(kBeginConversionBanner, 0, false);
  CallHook(hooks_.Refresh);

  PackArchiveFrames();
  // Pass 2 and the notes follow also after an abort or an output failure:
  // whatever was converted is closed cleanly and described.
  WriteCh10File();
  WriteConversionNotes();

  running_ = false;
  pass_ = ConversionPass::None;
  CallHook(hooks_.Refresh);

  // An output that failed is never reported as a complete conversion.
  bool complete = !abort_requested_ && output_error_ == 0;
  outcome_text_ = complete ? kOutcomeCompleteText : kOutcomeAbortedText;
  if (complete) BeepDone();
  if (hooks_.RunEnded) hooks_.RunEnded(outcome_text_);

  LogInfo(kEndConversionBanner, 0, false);
  return complete ? ConversionOutcome::Complete : ConversionOutcome::Aborted;
}

void conversiondriverclass::PackArchiveFrames() {
  if (!archive_ || archive_->Pack() == nullptr) return;
  pass_ = ConversionPass::PackFrames;
  orloarkpackclass* pack = archive_->Pack();

  int counter = 0;
  for (;;) {
    if (PumpAndCheckStop(counter)) break;
    archive_->ReadNextBlock();
    if (archive_->EndOfData) break;
    pack->ProcessArkBlock();
    if (pack->OutputFailed()) {
      NoteOutputFailure(pack->OutputError());  // the pack writer logged it
      break;
    }
  }

  archive_->CloseArkFile();
  // A read error ended the blocks early, or the archive did not close
  // cleanly (logged by the archive reader): the conversion is not complete.
  if (archive_->InputError() != 0) NoteOutputFailure(archive_->InputError());
  ready_ = false;
  if (!pack->ClosePackOutput() || pack->OutputFailed()) {
    NoteOutputFailure(pack->OutputError() ? pack->OutputError() : EIO);
  }
}
