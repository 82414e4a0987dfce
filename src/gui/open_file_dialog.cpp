#include "gui/open_file_dialog.h"

#include <QFileDialog>
#include <QMessageBox>

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

namespace {
FolderChooser g_folder_chooser;
QuestionHook g_question_hook;
}  // namespace

void SetFolderChooser(FolderChooser chooser) { g_folder_chooser = std::move(chooser); }
void SetQuestionHook(QuestionHook hook) { g_question_hook = std::move(hook); }

bool BrowseForFolder(QWidget* owner, const std::string& title, const std::string& initial_folder,
                     std::string& chosen) {
  if (g_folder_chooser) return g_folder_chooser(initial_folder, chosen);
  QFileDialog dialog(owner, QString::fromStdString(title), QString::fromStdString(initial_folder));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = dialog.selectedFiles().first().toStdString();
  return !chosen.empty();
}

bool AskYesNo(QWidget* owner, const std::string& caption, const std::string& text) {
  if (g_question_hook) return g_question_hook(caption, text);
  return QMessageBox::question(owner, QString::fromStdString(caption), QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}
