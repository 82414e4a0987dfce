#include "gui/progress_bar.h"

#include <QProgressBar>

#include "shell/progress_texts.h"

QProgressBar* PlaceProgressBar(QWidget* parent, int x, int y, int width, int height) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName("ProgressBar1");
  bar->setGeometry(x, y, width, height);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  return bar;
}

void ShowProgress(QProgressBar* bar, double percent) {
  bar->setValue(ProgressBarPosition(percent));
}
