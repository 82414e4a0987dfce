// BrowseForOpenFile: the modal open-file dialog of the archive selection,
// titled "Open File", starting in the given folder, with one filter for the
// extension and the file-name field preset to the default name.
#pragma once

#include <functional>
#include <string>

class QWidget;

struct openfilerequest {
  std::string title;           // "Open File"
  std::string initial_folder;
  std::string extension;       // without a leading "*."
  std::string filter;          // "File Type (*.ARK)" and its case variants
  std::string default_name;    // the base name of the default
};

// True, with the chosen full path, when the operator confirmed.
bool BrowseForOpenFile(QWidget* owner, const std::string& initial_folder,
                       const std::string& extension, const std::string& default_name,
                       std::string& chosen);

// Replaces the dialog (tests stand in for the operator); empty restores it.
using OpenFileChooser = std::function<bool(const openfilerequest& request, std::string& chosen)>;
void SetOpenFileChooser(OpenFileChooser chooser);

// BrowseForFolder: the toolkit's modal folder dialog, titled `title`,
// starting in `initial_folder`. True, with the chosen folder, when the
// operator confirmed.
bool BrowseForFolder(QWidget* owner, const std::string& title, const std::string& initial_folder,
                     std::string& chosen);
using FolderChooser = std::function<bool(const std::string& initial_folder, std::string& chosen)>;
void SetFolderChooser(FolderChooser chooser);

// AskYesNo: a modal question box (caption, text, Yes and No); true for Yes.
bool AskYesNo(QWidget* owner, const std::string& caption, const std::string& text);
using QuestionHook = std::function<bool(const std::string& caption, const std::string& text)>;
void SetQuestionHook(QuestionHook hook);
