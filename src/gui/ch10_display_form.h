// TCh10ProcDisplayForm: the Chapter 10 progress view. Shows, during pass 2,
// the converter's current data time, its time and PCM packet counts and the
// share of the pack file converted. Created by the conversion driver inside
// the main window's PanelCh10Info; reads the converter, never owns it.
#pragma once

#include <QFrame>

#include "shell/progress_view.h"

class QLabel;
class QProgressBar;
class ch10convertprocessclass;

class TCh10ProcDisplayForm : public QFrame, public progressviewclass {
 public:
  TCh10ProcDisplayForm(QWidget* panel, const ch10convertprocessclass& converter);

  void FirstShow() override;
  void FixedRefresh() override;
  void PeriodicRefresh() override;

 private:
  const ch10convertprocessclass& converter_;
  bool shown_ = false;
  bool busy_ = false;

  QLabel* LabelCurrentFileTime;
  QLabel* LabelTimePkts;
  QLabel* LabelPcmPkts;
  QLabel* LabelProgress;
  QProgressBar* ProgressBar1;
};
