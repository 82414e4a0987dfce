// Loading and saving "OrloVarnel.Opt" through the profile helpers.
#include "shell/program_options.h"

#include <cerrno>

#include "support/error_log.h"
#include "support/ini_file.h"
#include "support/platform_file.h"
#include "support/profile_files.h"

progoptionsclass::progoptionsclass() {
  options_.LastArchiveDir = StartFolder();
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
    options_.LastArchiveDir = folder;
  }
  ProfileReadBool(file_path_, kOptionsMainSection, "RetainTempArkPackFile",
                  options_.RetainTempArkPackFile);
  // A folder that is gone is kept: the window says so when it is used.
  ProfileReadText(file_path_, kOptionsMainSection, "OutputFolder", options_.OutputFolder);

  // Each field changes only when its whole value is a decimal integer.
  screenposstruct& pos = options_.MainScreenPos;
  ProfileReadInt(file_path_, kOptionsPositionSection, "MainScreenPos.left", pos.left);
  ProfileReadInt(file_path_, kOptionsPositionSection, "MainScreenPos.top", pos.top);
  ProfileReadInt(file_path_, kOptionsPositionSection, "MainScreenPos.right", pos.right);
  ProfileReadInt(file_path_, kOptionsPositionSection, "MainScreenPos.bottom", pos.bottom);
  return true;
}

void progoptionsclass::Save() {
  MakeStartFolderCurrent();
  // The whole file is built and written in one go (to a temporary file
  // renamed over the old one): a failure leaves the previous settings in
  // place instead of a file with some keys missing. The values are written
  // as the profile writers write them.
  const screenposstruct& pos = options_.MainScreenPos;
  IniFile ini;
  ini.Set(kOptionsMainSection, "LastArchiveDir", options_.LastArchiveDir);
  ini.Set(kOptionsMainSection, "RetainTempArkPackFile",
          ProfileBoolText(options_.RetainTempArkPackFile));
  // Written only once chosen: the file of a user who never chose one stays
  // as it was.
  if (!options_.OutputFolder.empty()) ini.Set(kOptionsMainSection, "OutputFolder", options_.OutputFolder);
  ini.Set(kOptionsPositionSection, "MainScreenPos.left", ProfileIntText(pos.left));
  ini.Set(kOptionsPositionSection, "MainScreenPos.top", ProfileIntText(pos.top));
  ini.Set(kOptionsPositionSection, "MainScreenPos.right", ProfileIntText(pos.right));
  ini.Set(kOptionsPositionSection, "MainScreenPos.bottom", ProfileIntText(pos.bottom));
  errno = 0;
  if (!ini.Save(file_path_)) {
    const int error_number = errno != 0 ? errno : EIO;
    LogInfo("Could not save the options file " + file_path_ + ": " + SystemErrorText(error_number),
            error_number, false);
  }
}
