// A started error log in a temporary start folder, for tests of the
// options and the driver; tones are recorded, never played, and message
// boxes are collected.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_helpers.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace shelltest {

class StartedLog {
 public:
  StartedLog() : previous_folder_(CurrentFolder()) {
    SetCurrentFolder(dir_.path());
    SetMessageBoxHook([this](const std::string& caption, const std::string& text) {
      boxes_.push_back(caption + ": " + text);
    });
    StartErrorLog(false, "1.00", "OrloVarnel", "", "OrloVarnel");
  }
  ~StartedLog() {
    EndErrorLog(false);
    SetMessageBoxHook(nullptr);
    ClearFileWriteFault();
    SetCurrentFolder(previous_folder_);
  }
  StartedLog(const StartedLog&) = delete;
  StartedLog& operator=(const StartedLog&) = delete;

  const testutil::TempDir& Dir() const { return dir_; }
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string LogText() const { return testutil::ReadAllText(dir_.File("OrloVarnel.Log")); }
  const std::vector<std::string>& Boxes() const { return boxes_; }
  testutil::BeepRecorder& Beeps() { return beeps_; }

 private:
  testutil::BeepRecorder beeps_;
  testutil::TempDir dir_;
  std::string previous_folder_;
  std::vector<std::string> boxes_;
};

}  // namespace shelltest

#include "mkarchive/archive_generator.h"

namespace shelltest {

// Writes an archive (and its setup file when the settings asks) and returns its
// path; fails the test when the generator refuses.
inline std::string MakeArchive(const std::string& folder, const std::string& name,
                               const mkarchive::ArchiveSettings& settings) {
  std::string path = folder + "/" + name;
  std::string error;
  EXPECT_TRUE(mkarchive::WriteArchive(path, settings, &error)) << error;
  return path;
}

// A small archive with its setup file: 16 words of 16 bits, 16 frames per
// block, 1000 frames per second.
inline mkarchive::ArchiveSettings SmallSettings(int64_t frames) {
  mkarchive::ArchiveSettings settings;
  settings.words_per_frame = 16;
  settings.frames_per_block = 16;
  settings.frame_count = frames;
  settings.setup_file.write = true;
  settings.setup_file_name = "C:\\DECOM\\SETUPS\\SMALL.B50";
  return settings;
}

using testutil::CountOf;

}  // namespace shelltest
