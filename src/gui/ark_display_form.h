// TOrloArkDisplayForm: the archive progress view. Shows the archive's start
// and end times and, during the run, the time of the last frame read, the
// frame counters of the packed-bit converter and the share of the archive
// read. Created by the conversion driver inside the main window's
// PanelArkInfo after an archive opened; reads the archive, never owns it.
#pragma once

#include <QFrame>

#include <functional>

#include "shell/progress_view.h"

class QLabel;
class QProgressBar;
class orloarkclass;
class orloarkpackclass;

class TOrloArkDisplayForm : public QFrame, public progressviewclass {
 public:
  // current_frame_time gives the time stamp of the last frame read.
  TOrloArkDisplayForm(QWidget* panel, const orloarkclass& archive, const orloarkpackclass& pack,
                      std::function<double()> current_frame_time);

  void FirstShow() override;
  void FixedRefresh() override;
  void PeriodicRefresh() override;

 private:
  const orloarkclass& archive_;
  const orloarkpackclass& pack_;
  std::function<double()> current_frame_time_;
  bool shown_ = false;
  bool busy_ = false;

  QLabel* LabelStartFileTime;
  QLabel* LabelEndFileTime;
  QLabel* LabelCurrentFileTime;
  QLabel* LabelArkValidFrames;
  QLabel* LabelArkMissedFrames;
  QLabel* LabelTotalFrames;
  QLabel* LabelProgress;
  QProgressBar* ProgressBar1;
};
