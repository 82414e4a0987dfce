#include "gui/screenshot_script.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>

#include "gui/about_box_form.h"
#include "gui/form_widgets.h"
#include "gui/open_file_dialog.h"
#include "gui/varnel_main_form.h"
#include "support/error_log.h"

#ifdef ORLO_TEST_HOOKS

namespace {

// The virtual X server has no window manager, so the picture gets a plain
// caption bar with the window's title and close box drawn here.
QPixmap WithCaption(QWidget& widget) {
  const QPixmap client = widget.grab();
  constexpr int kBar = 20;
  QPixmap framed(client.width() + 2, client.height() + kBar + 2);
  framed.fill(QColor(0x60, 0x60, 0x60));
  QPainter painter(&framed);
  painter.fillRect(1, 1, client.width(), kBar, QColor(0x2B, 0x4A, 0x7A));
  painter.setPen(Qt::white);
  painter.setFont(FormFont(true));
  painter.drawText(QRect(8, 1, client.width() - 40, kBar), Qt::AlignVCenter | Qt::AlignLeft,
                   widget.windowTitle());
  const QRect close_box(client.width() - 18, 4, 14, 14);
  painter.fillRect(close_box, QColor(0xC8, 0x40, 0x40));
  painter.drawLine(close_box.topLeft() + QPoint(3, 3), close_box.bottomRight() - QPoint(3, 3));
  painter.drawLine(close_box.topRight() + QPoint(-3, 3), close_box.bottomLeft() + QPoint(3, -3));
  painter.drawPixmap(1, kBar + 1, client);
  return framed;
}

void Save(QWidget& widget, const std::string& path) {
  QCoreApplication::processEvents();
  if (!WithCaption(widget).save(QString::fromStdString(path), "PNG")) {
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
  about.Fill(kProgramName, kOrloVersionText, kProgramName, StartFolder(), "");
  about.show();
  Save(about, out_dir + "/about.png");
  about.close();

  // A folder of the operator's choosing for the outputs, and a damaged
  // copy of the archive (DEMO01CUT.Ark beside it, when the tool made one)
  // converted into it: the run ends with its warnings.
  const std::string folder = archive.substr(0, archive.find_last_of('/') + 1);
  SetFolderChooser([folder](const std::string&, std::string& chosen) {
    chosen = folder + "Outputs";
    return true;
  });
  window.MenuOptionsOutputFolderClick();
  SetFolderChooser(nullptr);
  const std::string damaged = folder + "DEMO01CUT.Ark";
  SetOpenFileChooser([damaged](const openfilerequest&, std::string& chosen) {
    chosen = damaged;
    return true;
  });
  window.PanelArkFileNameClick();
  SetOpenFileChooser(nullptr);
  Save(window, out_dir + "/main-output-folder.png");
  window.findChild<QPushButton*>("SpeedButtonConvert")->click();
  window.RefreshTick();
  Save(window, out_dir + "/main-warnings.png");
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

#endif  // ORLO_TEST_HOOKS

void RunTimedConversion(TVarnelMainForm& window, const std::string& archive) {
  window.SetStartedObserver([&window, archive] {
    QTimer::singleShot(0, &window, [&window, archive] {
      SetOpenFileChooser([archive](const openfilerequest&, std::string& chosen) {
        chosen = archive;
        return true;
      });
      window.PanelArkFileNameClick();
      SetOpenFileChooser(nullptr);
      const auto start = std::chrono::steady_clock::now();
      window.findChild<QPushButton*>("SpeedButtonConvert")->click();
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      std::printf("window: %.3f s %s\n", took.count(),
                  window.findChild<QLabel*>("PanelTaskComplete")->text().toStdString().c_str());
      std::fflush(stdout);
      window.close();
    });
  });
}
