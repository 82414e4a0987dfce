#include "shell/output_transaction.h"

#include <cerrno>

#include "support/error_log.h"
#include "support/profile_files.h"

namespace {

outputnamesstruct WithSuffix(const outputnamesstruct& names, const char* suffix) {
  return {names.Folder, names.Ch10File + suffix, names.PackFile + suffix, names.NotesFile + suffix};
}

// Removes a file of ours, logging what went; nothing when nothing is there.
void RemoveLeftover(const std::string& path, const char* why) {
  if (GetPathKind(path) == PathKind::Missing) return;
  if (DeleteFileAt(path)) LogInfo(std::string(why) + path, 0, false);
}

// Renames when the source is there; false (errno set) when the rename fails.
bool RenameIfPresent(const std::string& from, const std::string& to) {
  if (GetPathKind(from) == PathKind::Missing) return true;
  return RenameFile(from, to);
}

}  // namespace

outputtransactionclass::~outputtransactionclass() { End(); }

bool outputtransactionclass::Begin(const outputnamesstruct& final_names,
                                   const std::vector<std::string>& input_paths,
                                   std::string& reason) {
  End();
  final_ = final_names;
  writing_ = WithSuffix(final_names, kWritingSuffix);
  partial_ = WithSuffix(final_names, kPartialSuffix);
  commit_marker_ = final_names.NotesFile + kCommitSuffix;
  replaced_ch10_ = final_names.Ch10File + kReplacedSuffix;
  inputs_.clear();
  input_paths_.clear();
  for (const std::string& path : input_paths) {
    fileidentitystruct identity;
    if (GetFileIdentity(path, identity)) {
      inputs_.push_back(identity);
      input_paths_.push_back(path);
    }
  }
  if (!GetFileIdentity(final_.Folder, folder_identity_)) {
    reason = "the output folder " + final_.Folder + " cannot be read: " + SystemErrorText(errno);
    return false;
  }

  const std::string lock_path = final_.Ch10File + kLockSuffix;
  if (!CheckName(lock_path, reason)) return false;
  switch (lock_.TryLock(lock_path)) {
    case filelockclass::Result::Locked:
      break;
    case filelockclass::Result::Busy:
      reason = "another conversion is writing " + final_.Ch10File + " (it holds " + lock_path + ")";
      return false;
    case filelockclass::Result::Failed:
      reason = "the lock file " + lock_path + " cannot be created: " + SystemErrorText(lock_.Error());
      return false;
  }

  const std::string* names[] = {&final_.Ch10File,   &final_.NotesFile,   &final_.PackFile,
                                &writing_.Ch10File, &writing_.NotesFile, &writing_.PackFile,
                                &partial_.Ch10File, &partial_.NotesFile, &partial_.PackFile,
                                &commit_marker_,    &replaced_ch10_};
  for (const std::string* name : names) {
    if (!CheckName(*name, reason)) {
      lock_.Release();
      return false;
    }
  }
  ClearUpAfterKilledRun();
  return true;
}

bool outputtransactionclass::CheckName(const std::string& path, std::string& reason) const {
  fileidentitystruct identity;
  if (GetFileIdentity(path, identity)) {
    for (size_t i = 0; i < inputs_.size(); ++i) {
      if (identity == inputs_[i]) {
        reason = "the output " + path + " is the input file " + input_paths_[i] +
                 ": it would be overwritten";
        return false;
      }
    }
  }
  const PathKind kind = GetPathKind(path);
  if (kind == PathKind::Missing || kind == PathKind::RegularFile) return true;
  reason = "the output " + path + " is " + PathKindText(kind) +
           (kind == PathKind::SymbolicLink ? "; outputs are never written through a link"
                                           : "; it is not replaced");
  return false;
}

void outputtransactionclass::ClearUpAfterKilledRun() {
  if (GetPathKind(commit_marker_) == PathKind::RegularFile) {
    // Every output was complete and on the disk when the run was killed:
    // finish its commit, as it would have.
    const bool done = RenameIfPresent(writing_.Ch10File, final_.Ch10File) &&
                      RenameFile(commit_marker_, final_.NotesFile);
    SyncFolder(final_.Folder);
    if (done) {
      LogInfo("Finished replacing " + final_.Ch10File + " and " + final_.NotesFile +
                  " for a conversion that was stopped while it replaced them",
              0, false);
    }
  }
  const char* why = "Removed a temporary file of a conversion that did not end: ";
  RemoveLeftover(writing_.Ch10File, why);
  RemoveLeftover(writing_.NotesFile, why);
  RemoveLeftover(writing_.PackFile, why);
  RemoveLeftover(commit_marker_, why);
  RemoveLeftover(replaced_ch10_, why);
}

bool outputtransactionclass::FolderUnchanged() const {
  fileidentitystruct now;
  return GetPathKind(final_.Folder) == PathKind::Folder && GetFileIdentity(final_.Folder, now) &&
         now == folder_identity_;
}

bool outputtransactionclass::Commit(bool keep_pack, int& error_number) {
  error_number = 0;
  if (!Active()) {
    error_number = ENOLCK;
    return false;
  }
  auto fail = [&](const std::string& what) {
    error_number = errno != 0 ? errno : EIO;
    LogError("Could not replace the outputs (" + what + "): " + SystemErrorText(error_number),
             error_number, true);
    return false;
  };
  // The folder renamed or replaced by a link during the run: the final
  // names would no longer be where they were checked.
  errno = 0;
  if (!FolderUnchanged()) {
    errno = ENOTDIR;
    return fail(final_.Folder + " is no longer the output folder it was");
  }
  if (keep_pack) {
    if (!RenameIfPresent(writing_.PackFile, final_.PackFile)) return fail(final_.PackFile);
  } else {
    DeleteFileAt(writing_.PackFile);
  }
  // The notes under the commit marker say the rest is complete; a run killed
  // from here on is finished by the next one (ClearUpAfterKilledRun).
  if (!RenameFile(writing_.NotesFile, commit_marker_)) return fail(commit_marker_);
  // With a second name the previous Chapter 10 file is not freed by the
  // rename that replaces it, which then takes no longer than the notes'
  // (a file system without hard links simply frees it there).
  DeleteFileAt(replaced_ch10_);
  const bool second_name = GetPathKind(final_.Ch10File) == PathKind::RegularFile &&
                           LinkFile(final_.Ch10File, replaced_ch10_);
  if (!RenameFile(writing_.Ch10File, final_.Ch10File)) return fail(final_.Ch10File);
  if (!RenameFile(commit_marker_, final_.NotesFile)) return fail(final_.NotesFile);
  if (second_name) DeleteFileAt(replaced_ch10_);
  if (!SyncFolder(final_.Folder)) return fail(final_.Folder);
  const char* why = "Removed an output of an earlier conversion that did not complete: ";
  RemoveLeftover(partial_.Ch10File, why);
  RemoveLeftover(partial_.NotesFile, why);
  RemoveLeftover(partial_.PackFile, why);
  return true;
}

outputnamesstruct outputtransactionclass::KeepPartial(bool keep_pack) {
  outputnamesstruct kept{final_.Folder, "", "", ""};
  if (!Active()) return kept;
  if (GetPathKind(commit_marker_) == PathKind::RegularFile) {
    if (GetPathKind(writing_.Ch10File) == PathKind::Missing) {
      // The commit failed after the new Chapter 10 file replaced the old
      // one: the notes that go with it stay as the marker, and the next run
      // on the archive puts them in place.
      LogWarning("The new notes wait as " + commit_marker_ + " beside the new " + final_.Ch10File +
                     "; the next conversion of the archive puts them in place",
                 0, false);
      kept.NotesFile = commit_marker_;
      return kept;
    }
    RenameFile(commit_marker_, writing_.NotesFile);
  }
  auto keep = [](const std::string& from, const std::string& to, std::string& kept_name) {
    if (GetPathKind(from) != PathKind::RegularFile) return;
    if (RenameFile(from, to)) {
      kept_name = to;
    } else {
      LogError("Could not keep " + from + " as " + to + ": " + SystemErrorText(errno), errno, false);
    }
  };
  keep(writing_.Ch10File, partial_.Ch10File, kept.Ch10File);
  keep(writing_.NotesFile, partial_.NotesFile, kept.NotesFile);
  if (keep_pack) {
    keep(writing_.PackFile, partial_.PackFile, kept.PackFile);
  } else {
    DeleteFileAt(writing_.PackFile);
  }
  SyncFolder(final_.Folder);
  return kept;
}

void outputtransactionclass::End() {
  if (!Active()) return;
  // Before a run only the empty pack file is there. Anything with data in it
  // is what a commit or KeepPartial could not move (logged then): it stays,
  // for the operator to take, until the next run on the archive.
  for (const std::string* name : {&writing_.Ch10File, &writing_.NotesFile, &writing_.PackFile}) {
    if (GetPathKind(*name) == PathKind::RegularFile && GetFileSize64(*name) == 0) DeleteFileAt(*name);
  }
  lock_.Release();
}
