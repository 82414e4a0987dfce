#include "gui/log_viewer_launcher.h"

#include <unistd.h>

#include <QProcess>

#include "support/error_log.h"

namespace {
constexpr int kStartWaitMs = 5000;
constexpr int kEndWaitMs = 3000;
}  // namespace

logviewerlauncherclass::logviewerlauncherclass() = default;

logviewerlauncherclass::~logviewerlauncherclass() { End(); }

void logviewerlauncherclass::End() {
  if (!viewer_) return;
  if (viewer_->state() != QProcess::NotRunning) {
    viewer_->kill();
    viewer_->waitForFinished(kEndWaitMs);
  }
  viewer_.reset();
}

long long logviewerlauncherclass::ViewerProcessId() const {
  return viewer_ && viewer_->state() == QProcess::Running ? viewer_->processId() : 0;
}

bool logviewerlauncherclass::Start(const QString& program, const QString& log_path) {
  auto process = std::make_unique<QProcess>();
  process->setWorkingDirectory(QString::fromStdString(StartFolder()));
  process->setProgram(program);
  process->setArguments({log_path});
  // The viewer runs at idle priority: it must never slow a conversion.
  process->setChildProcessModifier([] {
    int ignored = nice(19);
    (void)ignored;
  });
  process->start();
  if (!process->waitForStarted(kStartWaitMs)) return false;
  viewer_ = std::move(process);
  return true;
}

bool logviewerlauncherclass::Launch(const std::string& log_path) {
  End();
  MakeStartFolderCurrent();
  const QString path = QString::fromStdString(log_path);
  const std::string viewer = StartFolder() + "/" + kLogViewerProgram;
  if (Start(QString::fromStdString(viewer), path)) return true;

  LogError(std::string("Could Not Find ") + kLogViewerProgram +
               ".  Looking in Debug Directory.  BUILD ERROR FOR INSTALL.",
           1, false);
  if (Start(kLogViewerFallback, path)) return true;
  LogError(std::string("Could Not Find Debug  ") + kLogViewerFallback + ".  Cannot View Log Files",
           1, false);
  return false;
}
