#include "gui/open_file_dialog.h"

#include <QFileDialog>

#include "support/profile_files.h"
#include "support/text_format.h"

namespace {

OpenFileChooser g_chooser;

bool ShowDialog(QWidget* owner, const openfilerequest& request, std::string& chosen) {
  QFileDialog dialog(owner, QString::fromStdString(request.title),
                     QString::fromStdString(request.initial_folder));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDefaultSuffix(QString::fromStdString(request.extension));
  dialog.setNameFilter(QString::fromStdString(request.filter));
  dialog.selectFile(QString::fromStdString(request.default_name));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = dialog.selectedFiles().first().toStdString();
  return true;
}

}  // namespace

void SetOpenFileChooser(OpenFileChooser chooser) { g_chooser = std::move(chooser); }

bool BrowseForOpenFile(QWidget* owner, const std::string& initial_folder,
                       const std::string& extension, const std::string& default_name,
                       std::string& chosen) {
  openfilerequest request;
  request.title = "Open File";
  request.initial_folder = initial_folder;
  // "*.ARK" is reduced to "ARK"; "ARK" is used unchanged.
  const std::string after_dot = TextAfter(extension, ".");
  request.extension = after_dot.empty() ? extension : after_dot;
  // File names are case-sensitive here: the filter also lists the lower-case
  // and capitalised forms, so that DEMO01.Ark is offered too.
  QString ext = QString::fromStdString(request.extension);
  QString capitalised = ext.left(1).toUpper() + ext.mid(1).toLower();
  request.filter = QString("File Type (*.%1 *.%2 *.%3)")
                       .arg(ext, ext.toLower(), capitalised)
                       .toStdString();
  request.default_name = FileBaseName(default_name);
  if (g_chooser) return g_chooser(request, chosen);
  return ShowDialog(owner, request, chosen);
}
