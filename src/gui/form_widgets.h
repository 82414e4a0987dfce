// Building blocks of the program's windows: the form font, labels placed
// at fixed pixel positions, bevelled panels and solid background colours.
// Every widget gets its component name as object name, so that it can be
// found by name.
#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QString>

// The windows' places were laid out for Arial 8 point: Liberation Sans has
// the same metrics (DejaVu Sans, a little wider, stands in when it is
// missing). Sized in pixels so that the places fit at any screen density.
QFont FormFont(bool bold = false);

// A label at (x, y); sized to its text, or `width` pixels wide when given
// (value labels whose text comes later).
QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& text, int x, int y,
                   bool bold = false, int width = 0);

enum class PanelBevel {
  Raised,       // a plain raised panel
  None,         // no bevel
  InsetRaised,  // lowered outer and raised inner bevel, as around the stats rows
};
QFrame* PlacePanel(QWidget* parent, const char* name, int x, int y, int width, int height,
                   PanelBevel bevel);

void SetBackground(QWidget* widget, const QColor& colour);

// Sets up a progress view inside `panel`: named `name`, without a frame of
// its own, in the form grey and font, filling the panel inside its bevels.
void SetUpPanelView(QFrame* view, QWidget* panel, const char* name);

// The window toolkit's standard colours of the program's windows.
inline const QColor kFormGrey(0xD4, 0xD0, 0xC8);
inline const QColor kNavy(0x00, 0x00, 0x80);
inline const QColor kIdleYellow(0xFF, 0xFF, 0x00);
inline const QColor kRunningLime(0x00, 0xFF, 0x00);
