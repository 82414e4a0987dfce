// The progress views' bar: 0 to 100, without a text of its own (the
// percentage label beside it carries the number).
#pragma once

class QProgressBar;
class QWidget;

QProgressBar* PlaceProgressBar(QWidget* parent, int x, int y, int width, int height);
void ShowProgress(QProgressBar* bar, double percent);
