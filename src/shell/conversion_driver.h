// conversiondriverclass: one conversion job. Holds the archive the operator
// picked, the objects that read it and write the outputs, the derived
// output names and the flags of a run; carries out the run in one pass
// (archive frames packed and streamed into the Chapter 10 file, and into
// the pack file when the user keeps it) and the notes step. Free of any
// window toolkit: the window (or the command line) hands it an event pump,
// a progress-view factory and its effects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/output_transaction.h"
#include "shell/progress_view.h"

class orloarkclass;
class orloarkpackclass;
class ch10convertprocessclass;
class progoptionsclass;

inline constexpr const char* kOutputFolderName = "Ch10Conversion";
inline constexpr const char* kCh10Extension = "ch10";
inline constexpr const char* kPackExtension = "arkpak";
inline constexpr const char* kNotesExtension = "CvtNotes";
inline constexpr const char* kArchiveDialogExtension = "ARK";
inline constexpr const char* kArchiveOpenFailedText = "Could not open ARK file for reading";
inline constexpr const char* kBeginConversionBanner =
    "---------------  BEGIN ARK TO CH10 CONVERSION   ----------";
inline constexpr const char* kEndConversionBanner =
    "---------------  END ARK TO CH10 CONVERSION   ----------";
inline constexpr const char* kOutcomeCompleteText = "Conversion Complete";
inline constexpr const char* kOutcomeAbortedText = "Conversion Aborted";
inline constexpr const char* kNoArchiveDisplayText = "-----";

// Events are served once every kPumpCadence + 1 loop iterations.
inline constexpr int kPumpCadence = 100;

enum class ConversionOutcome { Refused, Complete, Aborted };

// What a run converted but could not convert cleanly. A run with warnings
// still ends "Conversion Complete"; its notes and the log say what happened.
enum class RunWarningKind {
  UnusedSetupFile,     // a setup file beside the archive was not used
  DamagedFrameTimes,   // frame time stamps out of step, kept in place
  FrameRateMismatch,   // most frame steps disagree with the header's rate
  CutLastBlock,        // the archive ends inside its last block
};
struct runwarningstruct {
  RunWarningKind kind;
  std::string text;    // one plain sentence, without the archive's name
};

// The warnings a run's counts call for, in the order a run gives them
// (shared with the archive inspection, so that it says what a conversion
// would): the text for the operator and the log's line.
struct archivewarningcountsstruct {
  int64_t partial_block_bytes = 0;  // of a last block the file ends inside
  double damaged_stamps = 0.0;      // frames kept in place
  double gaps = 0.0;                // steps taken as a real move of the time base
  double archive_frames = 0.0;      // the archive's own frames converted
  double header_rate = 0.0;         // Hz
};
struct archivewarningstruct {
  RunWarningKind kind;
  std::string text;
  std::string log_text;
};
std::vector<archivewarningstruct> ArchiveWarningsFor(const archivewarningcountsstruct& counts);
// A stable code for each kind ("cut-last-block", ...), for machine-read
// results: codes are added, never renamed.
const char* RunWarningCode(RunWarningKind kind);

// The last line of the notes of a run that did not complete, and the log's
// warning line with the reason.
inline constexpr const char* kNotesOperatorAbortText =
    "Conversion Aborted by the operator: the Ch10 file ends where the conversion stopped";
inline constexpr const char* kNotesOutputFailedText =
    "Conversion Aborted, an output could not be written: the Ch10 file ends where the conversion stopped";
inline constexpr const char* kLogOperatorAbortText = "Conversion Aborted by the operator";
inline constexpr const char* kLogOutputFailedText = "Conversion Aborted, an output could not be written: ";
inline constexpr const char* kNotesWarningPrefix = "Conversion Warning: ";
// The notes of a run that did not complete, and the log, say where its
// outputs were kept: "<prefix>NAME.ch10.partial and NAME.CvtNotes.partial
// <suffix>NAME.ch10 and NAME.CvtNotes".
inline constexpr const char* kKeptPartialPrefix = "Outputs of this conversion kept as ";
inline constexpr const char* kKeptPartialSuffix = "; left as they were: ";

// What the driver tells the window, each optional.
struct driverwindowhooks {
  std::function<void()> Refresh;      // mirror the driver's state in the controls
  std::function<void()> JobReset;     // hide the info, convert and outcome areas
  std::function<void()> RunStarted;   // hide the Chapter 10 and outcome areas
  std::function<void(const std::string& outcome)> RunEnded;  // show the outcome
};

// Whether the conversion pass is under way, for front ends that show
// progress themselves.
enum class ConversionPass { None, Convert };

class conversiondriverclass {
 public:
  // pump_events is called from inside the pass every 101 iterations; it
  // may be empty (then an abort can only come from another source).
  conversiondriverclass(progoptionsclass& options, std::function<void()> pump_events);
  ~conversiondriverclass();
  conversiondriverclass(const conversiondriverclass&) = delete;
  conversiondriverclass& operator=(const conversiondriverclass&) = delete;

  void SetProgressViewFactory(progressviewfactoryclass* factory) { view_factory_ = factory; }
  void SetWindowHooks(driverwindowhooks hooks) { hooks_ = std::move(hooks); }

  // Selection. False when refused (a run is in progress); otherwise the job
  // is reset and the open dialog's folder and default name are returned.
  bool PrepareSelection(std::string& initial_folder, std::string& default_name);
  // Opens the archive and takes its outputs (one run at a time for a set of
  // outputs, none of them a link or one of the inputs). False when the
  // archive cannot be opened or its outputs cannot be taken
  // (OutputsRefused), with RefusalReason saying why.
  bool OpenArchive(const std::string& path);
  void ResetJob();
  void DeriveOutputNames(const std::string& archive_path);
  // The output names of an archive without creating anything: in the given
  // folder, or in Ch10Conversion beside the archive when it is empty.
  static outputnamesstruct OutputNamesFor(const std::string& archive_path,
                                          const std::string& output_folder);
  // Outputs go to this folder instead of Ch10Conversion beside the archive
  // (empty: the default). Taken at the next selection.
  void SetOutputFolder(const std::string& folder) { chosen_output_folder_ = folder; }
  void RequestAbort() { abort_requested_ = true; }
  // A stop request besides the event pump (Ctrl-C in the command line),
  // polled during the run; once it returns true the run ends as an abort.
  void SetStopSource(std::function<bool()> stop_source) { stop_source_ = std::move(stop_source); }
  void SetRetainPackFile(bool retain);

  // The run (conversion_run.cpp, notes_step.cpp).
  ConversionOutcome RunConversion();
  void ConvertArchive();
  void WriteConversionNotes();

  // Observable state.
  bool Running() const { return running_; }
  bool Ready() const { return ready_; }
  bool AbortRequested() const { return abort_requested_; }
  ConversionPass Pass() const { return pass_; }
  std::string ArchiveDisplayName() const;
  bool RetainPackFile() const;
  const std::string& OutcomeText() const { return outcome_text_; }
  // Why the last OpenArchive or RunConversion was refused, in plain words
  // ("no such file", ...); empty when it was not.
  const std::string& RefusalReason() const { return refusal_reason_; }
  // True when the last OpenArchive opened the archive but refused it for
  // its outputs (another run writes them, a link or an input in their way).
  bool OutputsRefused() const { return outputs_refused_; }
  // Where the outputs of the last run went when it did not complete (the
  // partial names; empty entries for what was not kept). Empty after a
  // complete run.
  const outputnamesstruct& KeptOutputs() const { return kept_outputs_; }
  // The warnings of the last run (and of the open before it), in order.
  const std::vector<runwarningstruct>& Warnings() const { return warnings_; }
  // True once an output could not be created or written in this job; the
  // run then ends the way an abort does.
  bool OutputFailed() const { return output_error_ != 0; }
  // True while the selected archive's outputs are taken and can be written
  // where they go (false when the output folder could not be made, the
  // outputs were refused, or no archive is selected).
  bool OutputsWritable() const { return outputs_.Active() && output_error_ == 0; }
  // The time stamp of the last archive frame read: the archive's start
  // time before a run, 0 without an archive.
  double LastFrameTime() const { return last_frame_time_; }
  int OutputError() const { return output_error_; }

  const orloarkclass* Archive() const { return archive_.get(); }
  const orloarkpackclass* Pack() const { return pack_.get(); }
  const ch10convertprocessclass* Converter() const { return converter_.get(); }
  const progressviewclass* ArchiveView() const { return archive_view_.get(); }
  const progressviewclass* Ch10View() const { return ch10_view_.get(); }
  progoptionsclass& Options() { return options_; }

  const std::string& Ch10FileName() const { return ch10_file_name_; }
  const std::string& PackFileName() const { return pack_file_name_; }
  const std::string& NotesFileName() const { return notes_file_name_; }
  const std::string& OutputFolder() const { return output_folder_; }

 private:
  // The event pump of the pass: true when the loop must stop before doing
  // the work of this iteration (abort requested or an output failed).
  bool PumpAndCheckStop(int& counter);
  bool StopRequested() {
    if (!abort_requested_ && stop_source_ && stop_source_()) abort_requested_ = true;
    return abort_requested_ || output_error_ != 0;
  }
  // Records the first output failure of the job and reports it.
  void ReportOutputFailure(const std::string& what, const std::string& path, int error_number);
  // Takes over a failure that the pack or Chapter 10 writer already logged.
  void NoteOutputFailure(int error_number);
  // The pass's end: the stream's rest into both outputs, both closed; sets
  // whether the pack file is kept.
  void FinishOutputs(bool pack_file_written);
  // After the notes: the outputs replace the previous ones (complete run) or
  // are kept under their partial names.
  void SettleOutputs();
  // Where the run writes each output; only while the outputs are taken
  // (outputs_.Active()).
  const std::string& WritingCh10File() const { return outputs_.Writing().Ch10File; }
  const std::string& WritingPackFile() const { return outputs_.Writing().PackFile; }
  const std::string& WritingNotesFile() const { return outputs_.Writing().NotesFile; }
  // Once the archive is read: what the archive and the frame times leave to
  // say.
  void CollectArchiveWarnings();
  void AddWarning(RunWarningKind kind, const std::string& text, const std::string& log_text, int code);
  void CallHook(const std::function<void()>& hook) const {
    if (hook) hook();
  }

  progoptionsclass& options_;
  std::function<void()> pump_events_;
  std::function<bool()> stop_source_;
  progressviewfactoryclass* view_factory_ = nullptr;
  driverwindowhooks hooks_;

  std::unique_ptr<progressviewclass> archive_view_;
  std::unique_ptr<orloarkclass> archive_;
  // Packs by the archive's header record: made after each successful open,
  // and always destroyed before the archive.
  std::unique_ptr<orloarkpackclass> pack_;
  std::unique_ptr<progressviewclass> ch10_view_;
  std::unique_ptr<ch10convertprocessclass> converter_;

  std::string ch10_file_name_;
  std::string pack_file_name_;
  std::string notes_file_name_;
  std::string output_folder_;
  std::string chosen_output_folder_;
  outputtransactionclass outputs_;
  outputnamesstruct kept_outputs_;
  bool keep_pack_file_ = false;
  bool outputs_refused_ = false;

  bool running_ = false;
  bool abort_requested_ = false;
  bool ready_ = false;
  ConversionPass pass_ = ConversionPass::None;
  int output_error_ = 0;
  double last_frame_time_ = 0.0;
  std::string outcome_text_;
  std::string refusal_reason_;
  std::vector<runwarningstruct> warnings_;
};
