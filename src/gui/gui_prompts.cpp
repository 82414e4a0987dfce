#include "gui/gui_prompts.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "archive/setup_prompts.h"
#include "gui/form_widgets.h"
#include "support/error_log.h"

namespace {

// -1 when the boxes wait for the operator, as they always do in what ships.
int AutoCloseMilliseconds() {
#ifndef ORLO_TEST_HOOKS
  return -1;
#else
  const char* text = std::getenv("ORLOVARNEL_BOX_AUTOCLOSE_MS");
  if (text == nullptr || *text == '\0') return -1;
  char* end = nullptr;
  long ms = std::strtol(text, &end, 10);
  if (*end != '\0' || ms < 0 || ms > 600000) return -1;
  return static_cast<int>(ms);
#endif
}

void EchoBox(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

QMessageBox::Icon IconOf(const std::string& caption) {
  if (caption == "INFO") return QMessageBox::Information;
  if (caption == "WARNING") return QMessageBox::Warning;
  return QMessageBox::Critical;
}

bool AskText(const textinputrequest& request, std::string& text) {
  QInputDialog dialog;
  dialog.setWindowTitle(QString::fromStdString(request.caption));
  dialog.setLabelText(QString::fromStdString(request.label));
  dialog.setTextValue(QString::fromStdString(text));
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setFont(FormFont());
  const int ms = AutoCloseMilliseconds();
  if (ms >= 0) {
    EchoBox(request.caption, request.label + ": " + text);
    QTimer::singleShot(ms, &dialog, &QDialog::accept);
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  text = dialog.textValue().toStdString();
  return true;
}

}  // namespace

void ShowWindowMessageBox(const std::string& caption, const std::string& text) {
  QMessageBox box(IconOf(caption), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok);
  const int ms = AutoCloseMilliseconds();
  if (ms >= 0) {
    EchoBox(caption, text);
    QTimer::singleShot(ms, &box, &QMessageBox::accept);
  }
  box.exec();
}

void InstallWindowBoxes() {
  SetMessageBoxHook(ShowWindowMessageBox);
  SetTextInputHook(AskText);
}
