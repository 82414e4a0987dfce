// View, Error Log: the viewer in the start folder is started on the log
// file, a second launch ends the first viewer, closing the window ends the
// last one, and without any viewer the log says which were tried.
#include <signal.h>
#include <sys/stat.h>

#include <QAction>
#include <QTimer>

#include "common/log_session.h"
#include "gui/about_box_form.h"
#include "gui/gui_test_support.h"

namespace {

bool ProcessAlive(long long pid) { return pid > 0 && kill(static_cast<pid_t>(pid), 0) == 0; }

// A stand-in viewer: notes its command line, then waits to be ended.
void PlaceFakeViewer(const testutil::TempDir& dir) {
  const std::string path = dir.File("Trawler");
  testutil::WriteAllText(path, "#!/bin/sh\necho \"$1\" >> viewer-args.txt\nexec sleep 60\n");
  chmod(path.c_str(), 0755);
}

}  // namespace

class LogViewerTest : public QObject {
  Q_OBJECT

 private slots:
  void ViewingTheLogTwiceLeavesOneViewer() {
    testutil::TempDir dir;
    PlaceFakeViewer(dir);
    guitest::WindowSession session(dir.path());
    QAction* menu = session.window->findChild<QAction*>("MenuViewErrorLog");
    QVERIFY(menu != nullptr);

    const std::string log_line = dir.File("OrloVarnel.Log") + "\n";
    auto viewer_args = [&] { return testutil::ReadAllText(dir.File("viewer-args.txt")); };
    menu->trigger();
    const long long first = session.window->LogViewer().ViewerProcessId();
    QVERIFY(ProcessAlive(first));
    QVERIFY(QTest::qWaitFor([&] { return viewer_args() == log_line; }, 5000));
    menu->trigger();
    const long long second = session.window->LogViewer().ViewerProcessId();
    QVERIFY(ProcessAlive(second));
    QVERIFY(second != first);
    QVERIFY(!ProcessAlive(first));  // ended and reaped
    QVERIFY(QTest::qWaitFor([&] { return viewer_args() == log_line + log_line; }, 5000));
    QVERIFY(FileExists(dir.File("OrloVarnel.Log")));

    QVERIFY(session.Close());
    QVERIFY(!ProcessAlive(second));  // the shutdown ends it
    QCOMPARE(session.beeps.Total(), 0);
  }

  // The about box keeps its own viewer: "View Logs" twice leaves one, and
  // closing the box ends it.
  void AboutBoxViewLogs() {
    testutil::TempDir dir;
    PlaceFakeViewer(dir);
    guitest::WindowSession session(dir.path());
    TZekBorAboutBoxForm about(session.window.get());
    long long first = 0, second = 0;
    QTimer::singleShot(0, &about, [&] {
      QPushButton* view_logs = about.findChild<QPushButton*>("ButtonTrawler");
      view_logs->click();
      first = about.Viewer().ViewerProcessId();
      view_logs->click();
      second = about.Viewer().ViewerProcessId();
      about.findChild<QPushButton*>("OKButton")->click();
    });
    about.ShowAbout("OrloVarnel", "1.00", "OrloVarnel", dir.path(), "");
    QVERIFY(first != 0 && second != 0 && first != second);
    QVERIFY(!ProcessAlive(first));
    QVERIFY(!ProcessAlive(second));
    QCOMPARE(session.window->LogViewer().ViewerProcessId(), 0LL);  // the menu's own stays unset
  }

  void WithoutAnyViewerTheLogNamesBoth() {
    testutil::TempDir dir, empty_path;
    const QByteArray saved_path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(empty_path.path()));  // no xdg-open either
    guitest::WindowSession session(dir.path());
    session.window->findChild<QAction*>("MenuViewErrorLog")->trigger();
    qputenv("PATH", saved_path);
    QCOMPARE(session.window->LogViewer().ViewerProcessId(), 0LL);
    QCOMPARE(session.beeps.Count(BeepKind::Error), 2);
    // One box tells the operator where the log is.
    QCOMPARE(session.boxes.size(), size_t(1));
    QCOMPARE(QString::fromStdString(session.boxes[0]),
             QString::fromStdString("INFO: No log viewer could be started. The log is " +
                                    dir.File("OrloVarnel.Log")));
    QVERIFY(session.Close());
    const std::string log = session.LogText();
    QVERIFY(log.find("000001  ") != std::string::npos);
    QCOMPARE(testutil::CountOf(log, "Could Not Find Trawler.  Looking in Debug Directory.  "
                                    "BUILD ERROR FOR INSTALL.\r\n"), 1);
    QCOMPARE(testutil::CountOf(log, "Could Not Find Debug  xdg-open.  Cannot View Log Files\r\n"), 1);
  }
};

QTEST_MAIN(LogViewerTest)
#include "log_viewer_test.moc"
