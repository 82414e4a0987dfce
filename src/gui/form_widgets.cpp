#include "gui/form_widgets.h"

#include <QPalette>

QFont FormFont(bool bold) {
  QFont font;
  font.setFamilies({"Liberation Sans", "DejaVu Sans"});
  font.setPixelSize(11);  // 8 point at 96 dots per inch
  font.setBold(bold);
  return font;
}

QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& text, int x, int y,
                   bool bold, int width) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(FormFont(bold));
  label->move(x, y);
  if (width > 0) {
    label->resize(width, label->sizeHint().height());
  } else {
    label->adjustSize();
  }
  return label;
}

QFrame* PlacePanel(QWidget* parent, const char* name, int x, int y, int width, int height,
                   PanelBevel bevel) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  panel->setGeometry(x, y, width, height);
  switch (bevel) {
    case PanelBevel::Raised:
      panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
      panel->setLineWidth(1);
      break;
    case PanelBevel::None:
      panel->setFrameStyle(QFrame::NoFrame);
      break;
    case PanelBevel::InsetRaised:
      // Sunken outer line, raised middle line: a groove around a raised face.
      panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
      panel->setLineWidth(1);
      panel->setMidLineWidth(1);
      break;
  }
  return panel;
}

void SetBackground(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

void SetUpPanelView(QFrame* view, QWidget* panel, const char* name) {
  view->setObjectName(name);
  view->setFrameStyle(QFrame::NoFrame);
  SetBackground(view, kFormGrey);
  view->setFont(FormFont());
  view->setGeometry(panel->contentsRect());
}
