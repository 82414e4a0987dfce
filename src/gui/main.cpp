// OrloVarnel: the desktop window of the archive to Chapter 10 converter.
#include <QApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gui/beep_player.h"
#include "gui/form_widgets.h"
#include "gui/gui_prompts.h"
#include "gui/screenshot_script.h"
#include "gui/termination_signals.h"
#include "gui/varnel_main_form.h"

namespace {

// The desktop menu starts the window with --state-folder: its start folder
// (where the log and the options file live) is then the user's own state
// folder, $XDG_STATE_HOME/orlovarnel or ~/.local/state/orlovarnel, made when
// missing, instead of whatever folder the desktop started it in.
void EnterStateFolder() {
  std::string base;
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else if (home != nullptr && home[0] == '/') {
    base = std::string(home) + "/.local/state";
  } else {
    std::fprintf(stderr, "OrloVarnel: no HOME: the current folder stays the start folder\n");
    return;
  }
  const std::string folder = base + "/orlovarnel";
  // Each missing level is made private to the user.
  for (size_t at = 1; at != std::string::npos;) {
    at = folder.find('/', at + 1);
    const std::string level = folder.substr(0, at);
    if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) break;
  }
  if (::chdir(folder.c_str()) != 0) {
    std::fprintf(stderr, "OrloVarnel: cannot use the start folder %s: %s\n", folder.c_str(),
                 std::strerror(errno));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--state-folder") == 0) EnterStateFolder();
  QApplication app(argc, argv);
  // Tunes play beside the window, never holding up its thread.
  beepplayerclass beeps;
  app.setFont(FormFont());
  InstallWindowBoxes();

  TVarnelMainForm window;
  if (!window.HoldsInstanceLock()) {
    // Another copy runs: refuse before the log starts, so its log stays.
    ShowWindowMessageBox(kSecondInstanceCaption, kSecondInstanceText);
    return EXIT_FAILURE;
  }
#ifdef ORLO_TEST_HOOKS
  if (argc == 4 && std::strcmp(argv[1], "--screenshot-script") == 0) {
    RunScreenshotScript(window, argv[2], argv[3]);
  }
#endif
  if (argc == 3 && std::strcmp(argv[1], "--timed-conversion") == 0) {
    RunTimedConversion(window, argv[2]);
  }
  terminationsignalsclass signals_close_window(window);
  window.show();
  return app.exec();
}
