// Loading and saving "OrloVarnel.Opt" through the profile helpers.
#include "shell/program_options.h"

#include "support/error_log.h"
#include "support/platform_file.h"
#include "support/profile_files.h"

progoptionsclass::progoptionsclass() {
  Options.LastArchiveDir = StartFolder();
  file_path_ = StartFolder() + "/" + kOptionsFileName;
  Load();
}

progoptionsclass::~progoptionsclass() { Save(); }

bool progoptionsclass::Load() {
  MakeStartFolderCurrent();
  if (!FileExists(file_path_)) return false;

  std::string folder;
  if (ProfileReadText(file_path_, kOptionsMainSection, "LastArchiveDir", folder) &&
      FolderExists(folder)) {
    Options.LastArchiveDir = folder;
  }
  ProfileReadBool(file_path_, kOptionsMainSection, "RetainTempArkPackFile",
                  Options.RetainTempArkPackFile);

  // Each field changes only when its whole value is a decimal integer.
  screenposstruct& pos = Options.MainScreenPos;
  ProfileReadInt(file_path_, kOptionsPositionSection, "MainScreenPos.left", pos.left);
  ProfileReadInt(file_path_, kOptionsPositionSection, "MainScreenPos.top", pos.top);
  ProfileReadInt(file_path_, kOptionsPositionSection, "MainScreenPos.right", pos.right);
  ProfileReadInt(file_path_, kOptionsPositionSection, "MainScreenPos.bottom", pos.bottom);
  return true;
}

void progoptionsclass::Save() {
  MakeStartFolderCurrent();
  if (FileExists(file_path_)) DeleteFileAt(file_path_);

  const screenposstruct& pos = Options.MainScreenPos;
  ProfileWriteText(file_path_, kOptionsMainSection, "LastArchiveDir", Options.LastArchiveDir);
  ProfileWriteBool(file_path_, kOptionsMainSection, "RetainTempArkPackFile",
                   Options.RetainTempArkPackFile);
  ProfileWriteInt(file_path_, kOptionsPositionSection, "MainScreenPos.left", pos.left);
  ProfileWriteInt(file_path_, kOptionsPositionSection, "MainScreenPos.top", pos.top);
  ProfileWriteInt(file_path_, kOptionsPositionSection, "MainScreenPos.right", pos.right);
  ProfileWriteInt(file_path_, kOptionsPositionSection, "MainScreenPos.bottom", pos.bottom);
}
