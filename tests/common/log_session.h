// The program's log for one test: started in a folder (which becomes the
// current folder while the session lives, as the log layer makes its start
// folder current), message boxes captured instead of shown, and the log
// text handed back at the end.
#pragma once

#include <string>
#include <vector>

#include "common/test_helpers.h"
#include "support/error_log.h"
#include "support/platform_file.h"

namespace testutil {

class LogSession {
 public:
  explicit LogSession(const std::string& folder) : previous_(CurrentFolder()) {
    SetCurrentFolder(folder);
    StartErrorLog(false, "1.00", "OrloVarnel", "", "OrloVarnel");
    path_ = ErrorLogPath();
    SetMessageBoxHook([this](const std::string& caption, const std::string& text) {
      boxes.push_back(caption + ": " + text);
    });
  }
  ~LogSession() {
    SetMessageBoxHook(nullptr);
    if (!ended_) EndErrorLog(false);
    SetCurrentFolder(previous_);
  }
  LogSession(const LogSession&) = delete;
  LogSession& operator=(const LogSession&) = delete;

  std::string EndAndRead() {
    EndErrorLog(false);
    ended_ = true;
    return ReadAllText(path_);
  }

  std::vector<std::string> boxes;  // "CAPTION: text" per message box

 private:
  std::string previous_;
  std::string path_;
  bool ended_ = false;
};

}  // namespace testutil
