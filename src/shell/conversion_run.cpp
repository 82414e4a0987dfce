// A conversion run: the begin banner, the conversion pass (archive frames
// packed and streamed straight into the Chapter 10 writer), the notes step,
// then the outcome and the end banner. The pass runs on the caller's thread
// and hands control to the event pump every 101 iterations, so that Cancel
// and the progress views are served.
#include <cerrno>
#include <cstdint>

#include "archive/archive_reader.h"
#include "archive/frame_header.h"
#include "ch10/ch10_converter.h"
#include "pack/pack_converter.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
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

  ConvertArchive();
  // The notes follow also after an abort or an output failure: whatever was
  // converted is closed cleanly and described.
  WriteConversionNotes();
  // Only now, with every output complete and on the disk, do they replace
  // the previous ones; an unfinished run's outputs are kept beside them.
  SettleOutputs();

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

void conversiondriverclass::ConvertArchive() {
  if (!archive_ || !pack_) return;
  if (!outputs_.Active()) {
    // No output can be written (the folder's failure is the reason): the
    // archive is closed unread.
    archive_->CloseArkFile();
    ready_ = false;
    return;
  }
  pass_ = ConversionPass::Convert;
  orloarkpackclass* pack = pack_.get();

  ch10_view_.reset();  // the view reads the converter: it goes first
  converter_.reset();
  converter_ = std::make_unique<ch10convertprocessclass>(WritingCh10File(), archive_->Header());
  ch10convertprocessclass& cvt = *converter_;
  if (view_factory_) {
    ch10_view_ = view_factory_->CreateCh10View(cvt, *archive_);
    if (ch10_view_) ch10_view_->FirstShow();
  }

  // The pack file is written only when the user keeps it; the choice is
  // taken now, since the stream cannot be written again later.
  const bool pack_file_wanted = options_.Options().RetainTempArkPackFile;
  pack->SetPackFileWanted(pack_file_wanted);
  pack->SetStreamSink(&cvt);
  // A long fill sees an abort as the block loop does.
  pack->SetStopCheck([this] { return StopRequested(); });

  // TMATS packet, timing and the first time packet (failures are logged by
  // the converter).
  if (!cvt.Start()) NoteOutputFailure(cvt.OutputError());

  // The progress view shows the stamp of the last frame read: one header
  // decoded per block.
  const size_t last_frame_offset = [&] {
    const size_t stride = FrameStrideBytes(archive_->Header().WordsPerMinorFrame);
    const size_t frames =
        WholeFramesInBlock(archive_->Header().FramesPerBlock, archive_->SerialBuffer().size(), stride);
    return frames > 0 ? (frames - 1) * stride : SIZE_MAX;
  }();
  int counter = 0;
  for (;;) {
    if (PumpAndCheckStop(counter)) break;
    archive_->ReadNextBlock();
    if (archive_->EndOfData()) break;
    if (last_frame_offset != SIZE_MAX) {
      int32_t sfid = 0, state_a = 0, state_b = 0;
      DecodeFrameHeader(archive_->SerialData() + last_frame_offset, last_frame_time_, sfid,
                        state_a, state_b);
    }
    // Full packets reach the Chapter 10 file as they fill.
    pack->ProcessArkBlock(archive_->SerialData(), archive_->SerialBuffer().size());
    if (pack->OutputFailed()) {
      NoteOutputFailure(pack->OutputError());  // the pack writer logged it
      break;
    }
    if (cvt.OutputFailed()) {
      NoteOutputFailure(cvt.OutputError());  // the Chapter 10 writer logged it
      break;
    }
  }

  // The last frame may still wait for a successor that never comes.
  pack->FinishFrames();
  archive_->CloseArkFile();
  // A read error ended the blocks early, or the archive did not close
  // cleanly (logged by the archive reader): the conversion is not complete.
  if (archive_->InputError() != 0) NoteOutputFailure(archive_->InputError());
  ready_ = false;
  CollectArchiveWarnings();
  FinishOutputs(pack_file_wanted);
}

void conversiondriverclass::FinishOutputs(bool pack_file_written) {
  orloarkpackclass* pack = pack_.get();
  ch10convertprocessclass& cvt = *converter_;
  // Frames still waiting go to both outputs, also after an abort: the
  // Chapter 10 file holds every frame that was read, as the pack file does.
  if (!pack->ClosePackOutput() || pack->OutputFailed()) {
    NoteOutputFailure(pack->OutputError() ? pack->OutputError() : EIO);
  }
  pack->SetStreamSink(nullptr);
  cvt.Finish();
  if (cvt.OutputFailed()) NoteOutputFailure(cvt.OutputError());

  // The option is read again now, so clearing it during the run removes the
  // pack file. Set during the run, it finds no stream written: the empty
  // file is removed and the log says why.
  keep_pack_file_ = options_.Options().RetainTempArkPackFile && pack_file_written;
  if (options_.Options().RetainTempArkPackFile && !pack_file_written) {
    LogInfo("Pack file not kept: keeping it was chosen after the conversion had started", 0,
            false);
  }
}

void conversiondriverclass::SettleOutputs() {
  kept_outputs_ = outputnamesstruct();
  if (!outputs_.Active()) return;
  if (!abort_requested_ && output_error_ == 0) {
    int error_number = 0;
    if (outputs_.Commit(keep_pack_file_, error_number)) {
      // A job converts once: the outputs are free for the next run now.
      outputs_.End();
      return;
    }
    NoteOutputFailure(error_number);
  }
  kept_outputs_ = outputs_.KeepPartial(keep_pack_file_);
  outputs_.End();
  std::string kept;
  for (const std::string* name : {&kept_outputs_.Ch10File, &kept_outputs_.NotesFile,
                                  &kept_outputs_.PackFile}) {
    if (name->empty()) continue;
    kept += (kept.empty() ? "" : ", ") + *name;
  }
  if (!kept.empty()) {
    LogInfo(kKeptPartialPrefix + kept + kKeptPartialSuffix + ch10_file_name_ + " and " +
                notes_file_name_,
            0, false);
  }
}

void conversiondriverclass::AddWarning(RunWarningKind kind, const std::string& text,
                                       const std::string& log_text, int code) {
  warnings_.push_back({kind, text});
  LogWarning(log_text, code, false);
}

std::vector<archivewarningstruct> ArchiveWarningsFor(const archivewarningcountsstruct& c) {
  std::vector<archivewarningstruct> out;
  if (c.partial_block_bytes > 0) {
    const std::string bytes = FormatFixedNumber(20, 0, static_cast<double>(c.partial_block_bytes));
    out.push_back({RunWarningKind::CutLastBlock,
                   "the archive ends inside its last block: " + bytes +
                       " bytes after the last whole block were not converted",
                   "Ark File Ends Inside A Block, " + bytes + " Bytes After The Last Whole Block Not Converted"});
  }
  if (c.damaged_stamps > 0) {
    const std::string count = FormatFixedNumber(20, 0, c.damaged_stamps);
    out.push_back({RunWarningKind::DamagedFrameTimes,
                   count + (c.damaged_stamps == 1.0 ? " frame time stamp was" : " frame time stamps were") +
                       " out of step and kept in place (see the log)",
                   "Ark File Frame Times Out Of Step, Kept In Place: " + count});
  }
  // Every step disagreeing with the rate: either the header's rate is not
  // the recorded one or the link lost frames all the way through.
  const double steps = c.archive_frames - 1.0;
  const double out_of_step = c.damaged_stamps + c.gaps;
  if (steps >= 2.0 && out_of_step * 2.0 > steps) {
    const std::string rate = FormatFixedNumber(20, 2, c.header_rate);
    out.push_back({RunWarningKind::FrameRateMismatch,
                   FormatFixedNumber(20, 0, out_of_step) + " of " + FormatFixedNumber(20, 0, steps) +
                       " frame steps disagree with the header's frame rate of " + rate + " Hz",
                   "Ark File Frame Steps Disagree With The Header Frame Rate " + rate + " Hz"});
  }
  return out;
}

const char* RunWarningCode(RunWarningKind kind) {
  switch (kind) {
    case RunWarningKind::UnusedSetupFile: return "unused-setup-file";
    case RunWarningKind::DamagedFrameTimes: return "damaged-frame-times";
    case RunWarningKind::FrameRateMismatch: return "frame-rate-mismatch";
    case RunWarningKind::CutLastBlock: return "cut-last-block";
  }
  return "warning";
}

void conversiondriverclass::CollectArchiveWarnings() {
  const orloarkpackclass* pack = Pack();
  if (!archive_ || !pack) return;
  archivewarningcountsstruct counts;
  counts.partial_block_bytes = archive_->PartialBlockBytes();
  counts.damaged_stamps = pack->DamagedTimeCount();
  counts.gaps = pack->GapCount();
  counts.archive_frames = pack->ValidFrameCount();
  counts.header_rate = archive_->Header().MinorFrameRate;
  for (const archivewarningstruct& w : ArchiveWarningsFor(counts)) AddWarning(w.kind, w.text, w.log_text, 255);
}
