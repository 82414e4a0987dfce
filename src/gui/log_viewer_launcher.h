// Starts the external log viewer on the program's log file and keeps the
// process it started, so that the next launch (or the window's end) ends
// it first. The viewer is the program "Trawler" in the start folder; when
// it cannot be started, the desktop's own viewer through "xdg-open" from
// the PATH. Each launcher (the main window's menu, the about box) keeps its
// own viewer.
#pragma once

#include <QString>
#include <memory>
#include <string>

class QProcess;

inline constexpr const char* kLogViewerProgram = "Trawler";
inline constexpr const char* kLogViewerFallback = "xdg-open";

class logviewerlauncherclass {
 public:
  logviewerlauncherclass();
  ~logviewerlauncherclass();
  logviewerlauncherclass(const logviewerlauncherclass&) = delete;
  logviewerlauncherclass& operator=(const logviewerlauncherclass&) = delete;

  // Ends the viewer started before, then starts a new one on `log_path`.
  // When neither program starts: two error lines (code 1, error beeps, no
  // box); false then, and the caller tells the operator where the log is.
  bool Launch(const std::string& log_path);
  // Ends the recorded viewer, if any, and forgets it.
  void End();
  // Process id of the recorded viewer while it runs (0 otherwise).
  long long ViewerProcessId() const;

 private:
  bool Start(const QString& program, const QString& log_path);

  std::unique_ptr<QProcess> viewer_;
};
