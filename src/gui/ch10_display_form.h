// TCh10ProcDisplayForm: the Chapter 10 progress view. Shows, during the
// run, the converter's current data time, its time and PCM packet counts and
// the share of the archive read (the stream's size is known only at the
// end). Created by the conversion driver inside the main window's
// PanelCh10Info; reads the converter and the archive, never owns them.
#pragma once

#include <QFrame>

#include "shell/progress_view.h"

class QLabel;
class QProgressBar;
class ch10convertprocessclass;
class orloarkclass;

class TCh10ProcDisplayForm : public QFrame, public progressviewclass {
 public:
  TCh10ProcDisplayForm(QWidget* panel, const ch10convertprocessclass& converter,
                       const orloarkclass& archive);

  void FirstShow() override;
  void FixedRefresh() override;
  void PeriodicRefresh() override;

 private:
  const ch10convertprocessclass& converter_;
  const orloarkclass& archive_;
  bool shown_ = false;
  bool busy_ = false;

  QLabel* LabelCurrentFileTime;
  QLabel* LabelTimePkts;
  QLabel* LabelPcmPkts;
  QLabel* LabelProgress;
  QProgressBar* ProgressBar1;
};
