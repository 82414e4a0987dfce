// OrloVarnel: the desktop window of the archive to Chapter 10 converter.
#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <string>

#include "gui/form_widgets.h"
#include "gui/gui_prompts.h"
#include "gui/screenshot_script.h"
#include "gui/termination_signals.h"
#include "gui/varnel_main_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setFont(FormFont());
  InstallWindowBoxes();

  TVarnelMainForm window;
  if (!window.HoldsInstanceLock()) {
    // Another copy runs: refuse before the log starts, so its log stays.
    ShowWindowMessageBox(kSecondInstanceCaption, kSecondInstanceText);
    return EXIT_FAILURE;
  }
  if (argc == 4 && std::strcmp(argv[1], "--screenshot-script") == 0) {
    RunScreenshotScript(window, argv[2], argv[3]);
  }
  terminationsignalsclass signals_close_window(window);
  window.show();
  return app.exec();
}
