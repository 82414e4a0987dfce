// outputtransactionclass: the outputs of one archive appear complete or not
// at all. A run writes each output under a temporary name beside its final
// name; a complete run renames them over the final names, an unfinished one
// keeps them under names that say so, and at every moment NAME.ch10 and
// NAME.CvtNotes are the previous complete pair or the new one.
//
// For the outputs NAME.ch10, NAME.CvtNotes and NAME.arkpak in the output
// folder:
//   NAME.ch10.converting ...   written by the run (removed by the next run
//                              when a kill left them)
//   NAME.CvtNotes.ready        the new notes once every output is complete
//                              and on the disk: the commit is under way (a
//                              run that finds it finishes the commit)
//   NAME.ch10.replaced         a second name of the previous Chapter 10 file
//                              while it is replaced, so that freeing its
//                              blocks comes after the commit, not inside it
//   NAME.ch10.partial ...      what an aborted or failed run wrote, kept
//   NAME.ch10.lock             held by the run from Begin to End: one
//                              writer per set of outputs
// No name of these ends in an output's own extension, so none of them can
// be the final output of another archive.
#pragma once

#include <string>
#include <vector>

#include "support/file_lock.h"
#include "support/platform_file.h"

// Where the outputs of one archive go.
struct outputnamesstruct {
  std::string Folder;
  std::string Ch10File;
  std::string PackFile;
  std::string NotesFile;
};

inline constexpr const char* kWritingSuffix = ".converting";
inline constexpr const char* kPartialSuffix = ".partial";
inline constexpr const char* kCommitSuffix = ".ready";
inline constexpr const char* kLockSuffix = ".lock";
inline constexpr const char* kReplacedSuffix = ".replaced";

class outputtransactionclass {
 public:
  outputtransactionclass() = default;
  ~outputtransactionclass();
  outputtransactionclass(const outputtransactionclass&) = delete;
  outputtransactionclass& operator=(const outputtransactionclass&) = delete;

  // Takes the outputs for this run: the lock (refused at once when another
  // run holds it), then every name the run may create, replace or remove is
  // checked: none may be a link, a folder, or one of the input files
  // (compared by device and inode); then what a killed run left is cleared
  // up (an interrupted commit finished, temporary files removed, each
  // logged). The output folder must exist. False with `reason` (one plain
  // sentence naming the paths) when the outputs cannot be taken; nothing
  // has been written then.
  bool Begin(const outputnamesstruct& final_names, const std::vector<std::string>& input_paths,
             std::string& reason);
  bool Active() const { return lock_.Held(); }

  // The names: final, written by the run, kept after an unfinished run.
  const outputnamesstruct& Final() const { return final_; }
  const outputnamesstruct& Writing() const { return writing_; }
  const outputnamesstruct& Partial() const { return partial_; }

  // The run wrote every output completely, and the writers made them
  // durable when they closed them. Renames the pack file (when kept; else
  // removes it), then the Chapter 10 file and the notes over the final
  // names, syncs the folder and removes partial outputs of earlier runs.
  // False with the error number when a step failed (logged); the outputs
  // not yet renamed then stay under their temporary names for KeepPartial.
  bool Commit(bool keep_pack, int& error_number);
  // The run did not complete: what it wrote is kept under the partial names
  // (the pack file only when kept), the final names are left as they are.
  // The names of what was kept are returned (empty entries for none).
  outputnamesstruct KeepPartial(bool keep_pack);
  // Removes whatever the run left under the temporary names and releases
  // the lock. Also what the destructor does.
  void End();

 private:
  // The checks of Begin for one name.
  bool CheckName(const std::string& path, std::string& reason) const;
  // Finishes an interrupted commit or removes a killed run's temporaries.
  void ClearUpAfterKilledRun();
  bool FolderUnchanged() const;

  outputnamesstruct final_;
  outputnamesstruct writing_;
  outputnamesstruct partial_;
  std::string commit_marker_;
  std::string replaced_ch10_;
  std::vector<fileidentitystruct> inputs_;
  std::vector<std::string> input_paths_;
  fileidentitystruct folder_identity_;
  filelockclass lock_;
};
