// Shared by the window's Qt Test suites: a start folder per window, the
// window found by component names, its log read back, the beeps recorded
// instead of played, and the single-instance lock kept inside the test's
// own runtime folder (so that suites running side by side do not refuse
// each other).
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/test_helpers.h"
#include "gui/open_file_dialog.h"
#include "gui/varnel_main_form.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace guitest {

// A private runtime folder for the whole test program.
inline const std::string& RuntimeFolder() {
  static testutil::TempDir folder;
  static bool set = [] {
    setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
    return true;
  }();
  (void)set;
  return folder.path();
}

// One window started in `folder` (its start folder), shown, and waited for
// until its deferred start has run. Message boxes are captured.
class WindowSession {
 public:
  explicit WindowSession(const std::string& folder) : previous_(CurrentFolder()) {
    RuntimeFolder();
    SetCurrentFolder(folder);
    SetMessageBoxHook([this](const std::string& caption, const std::string& text) {
      boxes.push_back(caption + ": " + text);
    });
    window = std::make_unique<TVarnelMainForm>();
    window->show();
    started = QTest::qWaitFor([this] { return window->Initialised(); }, 5000);
    log_path_ = ErrorLogPath();
  }
  ~WindowSession() {
    window.reset();
    SetOpenFileChooser(nullptr);
    SetMessageBoxHook(nullptr);
    SetCurrentFolder(previous_);
  }

  template <typename T>
  T* Find(const char* name) const {
    return window->findChild<T*>(name);
  }
  QString Text(const char* label) const { return Find<QLabel>(label)->text(); }
  // A label of one of the two progress views.
  QString ViewText(const char* panel, const char* label) const {
    return Find<QWidget>(panel)->findChild<QLabel*>(label)->text();
  }

  // Selects `path` through a stand-in for the open dialog.
  void Select(const std::string& path) {
    SetOpenFileChooser([path](const openfilerequest&, std::string& chosen) {
      chosen = path;
      return true;
    });
    QTest::mouseClick(Find<QLabel>("PanelArkFileName"), Qt::LeftButton);
    SetOpenFileChooser(nullptr);
  }

  // Closes the window; true when it closed. The log is complete then.
  bool Close() { return window->close(); }
  std::string LogText() const { return testutil::ReadAllText(log_path_); }

  std::unique_ptr<TVarnelMainForm> window;
  bool started = false;
  std::vector<std::string> boxes;  // "CAPTION: text"
  testutil::BeepRecorder beeps;

 private:
  std::string previous_;
  std::string log_path_;
};

// The log's lines without their time stamps ("%06d  DDD:HH:MM:SS.ssssss  ").
inline std::vector<std::string> LogLinesWithoutTimes(const std::string& log) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find("\r\n", at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    if (line.size() >= 29) line = line.substr(0, 8) + line.substr(29);
    lines.push_back(line);
    at = end + 2;
  }
  return lines;
}

}  // namespace guitest
