// View, Error Log: the viewer in the start folder is started on the log
// file, a second launch ends the first viewer, closing the window ends the
// last one, and without any viewer the log says which were tried.
#include <signal.h>
#include <sys/stat.h>

#include <QAction>

#include "common/log_session.h"
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

  void WithoutAnyViewerTheLogNamesBoth() {
    testutil::TempDir dir, empty_path;
    const QByteArray saved_path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(empty_path.path()));  // no xdg-open either
    guitest::WindowSession session(dir.path());
    session.window->findChild<QAction*>("MenuViewErrorLog")->trigger();
    qputenv("PATH", saved_path);
    QCOMPARE(session.window->LogViewer().ViewerProcessId(), 0LL);
    QCOMPARE(session.beeps.Count(BeepKind::Error), 2);
    QVERIFY(session.boxes.empty());
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
