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
#include "support/platform_file.h"
#include "support/text_format.h"

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
    refusal_reason_ = running_ ? "a conversion is in progress" : "no archive is ready to convert";
    CallHook(hooks_.Refresh);
    return ConversionOutcome::Refused;
  }

  // A file-size limit must end the run as a write error does (outputs
  // closed, notes written), not kill the process half way.
  IgnoreFileSizeSignal();
  abort_requested_ = false;
  running_ = true;
  outcome_text_.clear();
  refusal_reason_.clear();
  CallHook(hooks_.RunStarted);

  LogInfo(kBeginConversionBanner, 0, false);
  CallHook(hooks_.Refresh);

  PackArchiveFrames();
  CollectPassOneWarnings();
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
  if (output_error_ != 0) {
    LogWarning(kLogOutputFailedText + SystemErrorText(output_error_), output_error_, false);
  } else if (abort_requested_) {
    LogWarning(kLogOperatorAbortText, 255, false);
  }
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

  // The last frame may still wait for a successor that never comes.
  pack->FinishFrames();
  archive_->CloseArkFile();
  ready_ = false;
  if (!pack->ClosePackOutput() || pack->OutputFailed()) {
    NoteOutputFailure(pack->OutputError() ? pack->OutputError() : EIO);
  }
}

void conversiondriverclass::AddWarning(RunWarningKind kind, const std::string& text,
                                       const std::string& log_text, int code) {
  warnings_.push_back({kind, text});
  LogWarning(log_text, code, false);
}

void conversiondriverclass::CollectPassOneWarnings() {
  const orloarkpackclass* pack = Pack();
  if (!archive_ || !pack) return;
  if (archive_->PartialBlockBytes > 0) {
    const std::string bytes = FormatFixedNumber(20, 0, static_cast<double>(archive_->PartialBlockBytes));
    AddWarning(RunWarningKind::CutLastBlock,
               "the archive ends inside its last block: " + bytes +
                   " bytes after the last whole block were not converted",
               "Ark File Ends Inside A Block, " + bytes + " Bytes After The Last Whole Block Not Converted", 255);
  }
  if (pack->DamagedTimeCount > 0) {
    const std::string count = FormatFixedNumber(20, 0, pack->DamagedTimeCount);
    AddWarning(RunWarningKind::DamagedFrameTimes,
               count + (pack->DamagedTimeCount == 1.0 ? " frame time stamp was" : " frame time stamps were") +
                   " out of step and kept in place (see the log)",
               "Ark File Frame Times Out Of Step, Kept In Place: " + count, 255);
  }
  // Every step disagreeing with the rate: either the header's rate is not
  // the recorded one or the link lost frames all the way through.
  const double steps = pack->ValidFrameCount - 1.0;
  const double out_of_step = pack->DamagedTimeCount + pack->GapCount;
  if (steps >= 2.0 && out_of_step * 2.0 > steps) {
    const std::string rate = FormatFixedNumber(20, 2, archive_->Header().MinorFrameRate);
    AddWarning(RunWarningKind::FrameRateMismatch,
               FormatFixedNumber(20, 0, out_of_step) + " of " + FormatFixedNumber(20, 0, steps) +
                   " frame steps disagree with the header's frame rate of " + rate + " Hz",
               "Ark File Frame Steps Disagree With The Header Frame Rate " + rate + " Hz", 255);
  }
}
