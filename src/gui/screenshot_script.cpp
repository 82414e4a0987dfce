#include "gui/screenshot_script.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

#include "gui/about_box_form.h"
#include "gui/open_file_dialog.h"
#include "gui/varnel_main_form.h"
#include "support/error_log.h"

namespace {

void Save(QWidget& widget, const std::string& path) {
  QCoreApplication::processEvents();
  if (!widget.grab().save(QString::fromStdString(path), "PNG")) {
    std::fprintf(stderr, "screenshot: could not write %s\n", path.c_str());
  } else {
    std::printf("screenshot: %s\n", path.c_str());
  }
}

void RunScript(TVarnelMainForm& window, const std::string& out_dir, const std::string& archive) {
  SetOpenFileChooser([archive](const openfilerequest&, std::string& chosen) {
    chosen = archive;
    return true;
  });
  window.PanelArkFileNameClick();
  SetOpenFileChooser(nullptr);
  Save(window, out_dir + "/main-before.png");

  bool during_taken = false;
  window.SetPumpObserver([&] {
    if (during_taken) return;
    during_taken = true;
    window.RefreshTick();  // the views as the next tick would show them
    Save(window, out_dir + "/main-during.png");
  });
  window.findChild<QPushButton*>("SpeedButtonConvert")->click();
  window.SetPumpObserver(nullptr);
  window.RefreshTick();
  Save(window, out_dir + "/main-after.png");

  TZekBorAboutBoxForm about(&window);
  about.Fill(kProgramName, kVersionText, std::string("/") + kProgramName, StartFolder(), "");
  about.show();
  Save(about, out_dir + "/about.png");
  about.close();
  window.close();
}

}  // namespace

void RunScreenshotScript(TVarnelMainForm& window, const std::string& out_dir,
                         const std::string& archive) {
  window.SetStartedObserver([&window, out_dir, archive] {
    // Behind the deferred start, once the window has been painted.
    QTimer::singleShot(200, &window, [&window, out_dir, archive] {
      RunScript(window, out_dir, archive);
    });
  });
}
