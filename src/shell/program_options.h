// The program's settings between runs: the folder of the last archive
// chosen, whether the pack file stays after a conversion, and the main
// window's position. Kept in the profile file "OrloVarnel.Opt" in the start
// folder: loaded when the object is created, written anew when it is
// destroyed.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kOptionsFileName = "OrloVarnel.Opt";
inline constexpr const char* kOptionsMainSection = "Main Area";
inline constexpr const char* kOptionsPositionSection = "Position Area";

struct screenposstruct {
  int32_t left = 200;
  int32_t top = 200;
  int32_t right = 0;   // the window's width, not its right edge
  int32_t bottom = 0;  // the window's height, not its bottom edge
};

struct progoptionstruct {
  std::string LastArchiveDir;          // with its trailing separator
  bool RetainTempArkPackFile = false;
  // The window's choice of folder for the outputs; empty: Ch10Conversion
  // beside the archive.
  std::string OutputFolder;
  screenposstruct MainScreenPos;
};

class progoptionsclass {
 public:
  // Needs the error log started: the file lives in the start folder.
  progoptionsclass();
  ~progoptionsclass();
  progoptionsclass(const progoptionsclass&) = delete;
  progoptionsclass& operator=(const progoptionsclass&) = delete;

  // True when the options file existed. Fields missing from it, or whose
  // value cannot be used, keep their current value.
  bool Load();
  // Writes the file from scratch; keys not listed here do not survive.
  // Write failures are ignored: the settings are then lost.
  void Save();

  const std::string& FilePath() const { return file_path_; }
  // The settings as loaded and changed since; saved as they stand.
  const progoptionstruct& Options() const { return options_; }

  // The folder the next archive dialog starts in (with its trailing
  // separator).
  void RememberArchiveFolder(const std::string& folder) { options_.LastArchiveDir = folder; }
  void SetRetainPackFile(bool retain) { options_.RetainTempArkPackFile = retain; }
  // Empty: the outputs go to Ch10Conversion beside the archive.
  void SetOutputFolder(const std::string& folder) { options_.OutputFolder = folder; }
  void SetMainWindowPosition(const screenposstruct& position) { options_.MainScreenPos = position; }

 private:
  progoptionstruct options_;
  std::string file_path_;
};
