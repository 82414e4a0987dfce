// The conversion job: selection of an archive, the output names derived
// from it, reset, and the job's observable state.
#include "shell/conversion_driver.h"

#include <cerrno>

#include "archive/archive_reader.h"
#include "archive/decom_setup.h"
#include "ch10/ch10_converter.h"
#include "pack/pack_converter.h"
#include "shell/program_options.h"
#include "support/beeper.h"
#include "support/error_log.h"
#include "support/platform_file.h"
#include "support/profile_files.h"

conversiondriverclass::conversiondriverclass(progoptionsclass& options,
                                             std::function<void()> pump_events)
    : options_(options), pump_events_(std::move(pump_events)) {}

conversiondriverclass::~conversiondriverclass() {
  // The shutdown order: converter, archive progress view, packed-bit
  // converter, archive object. Each view goes before the object it reads.
  ch10_view_.reset();
  converter_.reset();
  archive_view_.reset();
  pack_.reset();
  archive_.reset();
  outputs_.End();
}

bool conversiondriverclass::PrepareSelection(std::string& initial_folder,
                                             std::string& default_name) {
  // The event pump serves window events during a run: never reset the job
  // that the run is using.
  if (running_) {
    BeepError();
    return false;
  }
  std::string previous = archive_ ? archive_->FileName() : std::string();
  ResetJob();
  initial_folder = options_.Options().LastArchiveDir;
  default_name = FileBaseName(previous);
  return true;
}

bool conversiondriverclass::OpenArchive(const std::string& path) {
  if (running_) {
    BeepError();
    return false;
  }
  // The dialog starts in this folder next time, whether the open works or not.
  options_.RememberArchiveFolder(FileFolderPart(path));

  archive_view_.reset();
  refusal_reason_.clear();
  outputs_refused_ = false;
  warnings_.clear();
  outputs_.End();
  pack_.reset();  // it reads the header record of the archive it goes with
  archive_ = std::make_unique<orloarkclass>();
  if (!archive_->OpenArkFile(path)) {
    // The archive object stays in the job, but it is never ready, so it
    // cannot be converted; the next selection removes it.
    ready_ = false;
    refusal_reason_ = archive_->OpenFailure().empty() ? "could not be opened" : archive_->OpenFailure();
    LogError(kArchiveOpenFailedText, 255, true);
    return false;
  }
  if (!archive_->SetupFileProblem().empty()) {
    warnings_.push_back({RunWarningKind::UnusedSetupFile, archive_->SetupFileProblem()});
  }

  DeriveOutputNames(path);
  if (output_error_ == 0) {
    // The archive and the setup file beside it are inputs: no output may be
    // one of them.
    const std::vector<std::string> inputs = {
        archive_->FileName(), SetupFilePath(archive_->FileName(), archive_->Header().SetupFileName)};
    std::string reason;
    if (!outputs_.Begin(OutputNamesFor(path, chosen_output_folder_), inputs, reason)) {
      ready_ = false;
      outputs_refused_ = true;
      refusal_reason_ = reason;
      LogError("Not converted: " + reason, 255, true);
      return false;
    }
  }
  pack_ = std::make_unique<orloarkpackclass>(archive_->Header());
  orloarkpackclass* pack = pack_.get();
  // Without a usable output folder nothing is created: the run then ends
  // at once, aborted, with the folder's failure as the reason.
  if (outputs_.Active()) {
    bool created = pack->SetPackFile(WritingPackFile(), archive_->FirstFrameTime(), archive_->WholeFrameCount());
    if (pack->OutputFailed()) {
      NoteOutputFailure(pack->OutputError());
    } else if (!created || !FileExists(WritingPackFile())) {
      ReportOutputFailure("Could not create the pack file ", WritingPackFile(),
                          pack->OutputError() ? pack->OutputError() : ENOENT);
    }
  }
  ready_ = true;
  last_frame_time_ = archive_->Header().StartTime;

  if (view_factory_) {
    archive_view_ = view_factory_->CreateArchiveView(*archive_, *pack_);
    if (archive_view_) archive_view_->FirstShow();
  }
  return true;
}

void conversiondriverclass::ResetJob() {
  if (running_) {
    BeepError();
    return;
  }
  archive_view_.reset();
  pack_.reset();     // closes the pack file
  archive_.reset();  // closes its files
  ch10_view_.reset();
  converter_.reset();
  outputs_.End();  // after the writers closed their files

  ch10_file_name_.clear();
  pack_file_name_.clear();
  notes_file_name_.clear();
  output_folder_.clear();

  running_ = false;
  abort_requested_ = false;
  ready_ = false;
  pass_ = ConversionPass::None;
  output_error_ = 0;
  last_frame_time_ = 0.0;
  outcome_text_.clear();
  refusal_reason_.clear();
  outputs_refused_ = false;
  kept_outputs_ = outputnamesstruct();
  keep_pack_file_ = false;
  warnings_.clear();
  CallHook(hooks_.JobReset);
}

outputnamesstruct conversiondriverclass::OutputNamesFor(const std::string& archive_path,
                                                       const std::string& output_folder) {
  outputnamesstruct names;
  names.Folder =
      output_folder.empty() ? FileFolderPart(archive_path) + kOutputFolderName : output_folder;
  // The archive's name without its last extension, so that T12.run3.Ark
  // and T12.run4.Ark in one folder never share their outputs.
  std::string stem = names.Folder + "/" + FileNameWithoutLastExtension(archive_path) + ".";
  names.Ch10File = stem + kCh10Extension;
  names.PackFile = stem + kPackExtension;
  names.NotesFile = stem + kNotesExtension;
  return names;
}

void conversiondriverclass::DeriveOutputNames(const std::string& archive_path) {
  const outputnamesstruct names = OutputNamesFor(archive_path, chosen_output_folder_);
  output_folder_ = names.Folder;
  std::string reason;
  errno = 0;
  if (!EnsureFolder(output_folder_, reason)) {
    // Every output of the run would fail; say why once, here. A link is
    // never followed to some other folder.
    const int error_number = errno ? errno : ENOTDIR;
    LogError("Could not create the output folder " + output_folder_ + ": " + reason, error_number,
             true);
    if (output_error_ == 0) output_error_ = error_number;
  }
  ch10_file_name_ = names.Ch10File;
  pack_file_name_ = names.PackFile;
  notes_file_name_ = names.NotesFile;
}

void conversiondriverclass::SetRetainPackFile(bool retain) {
  options_.SetRetainPackFile(retain);
}

bool conversiondriverclass::RetainPackFile() const {
  return options_.Options().RetainTempArkPackFile;
}

std::string conversiondriverclass::ArchiveDisplayName() const {
  return archive_ ? FileBaseName(archive_->FileName()) : std::string(kNoArchiveDisplayText);
}

void conversiondriverclass::ReportOutputFailure(const std::string& what, const std::string& path,
                                                int error_number) {
  if (error_number == 0) error_number = EIO;
  LogError(what + path + ": " + SystemErrorText(error_number), error_number, true);
  if (output_error_ == 0) output_error_ = error_number;
}

void conversiondriverclass::NoteOutputFailure(int error_number) {
  if (output_error_ == 0) output_error_ = error_number ? error_number : EIO;
}
