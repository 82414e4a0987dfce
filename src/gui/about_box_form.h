// TZekBorAboutBoxForm: the modal about box with the product name, version,
// the maker's lines, optional comments and a "View Logs" button that starts
// the log viewer on the program's log file.
#pragma once

#include <QDialog>
#include <string>

#include "gui/log_viewer_launcher.h"

class QLabel;
class QPushButton;

class TZekBorAboutBoxForm : public QDialog {
 public:
  explicit TZekBorAboutBoxForm(QWidget* owner);

  // Fills the labels, shows the box modally and, once it is closed, ends the
  // viewer started from it. `log_name` is the log file's name without
  // extension, in `log_folder`.
  void ShowAbout(const std::string& product, const std::string& version,
                 const std::string& log_name, const std::string& log_folder,
                 const std::string& comments);
  // Fills the labels only (ShowAbout's first step; screenshots use it).
  void Fill(const std::string& product, const std::string& version, const std::string& log_name,
            const std::string& log_folder, const std::string& comments);

  void ButtonTrawlerClick();
  const logviewerlauncherclass& Viewer() const { return viewer_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::string log_folder_;
  std::string log_name_;
  logviewerlauncherclass viewer_;

  QLabel* ProductName;
  QLabel* Version;
  QLabel* LabelComments;
};

// The product's picture: a telemetry wave turning into packets, drawn here.
class QPixmap;
QPixmap ProgramPicture(int width, int height);
