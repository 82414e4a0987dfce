// The main window as the operator meets it: the first start, the retain
// box across a restart, a second copy refused, the about box, and a
// shutdown that never waits on a refresh tick.
#include <unistd.h>

#include <QProcess>

#include <chrono>
#include <thread>

#include "gui/about_box_form.h"
#include "gui/gui_test_support.h"
#include "gui/ten_hz_thread.h"
#include "mkarchive/archive_generator.h"
#include "shell/conversion_driver.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void FirstStartWithoutAnOptionsFile() {
    testutil::TempDir dir;
    guitest::WindowSession session(dir.path());
    QVERIFY(session.started);
    QCOMPARE(session.window->pos(), QPoint(200, 200));
    QCOMPARE(session.window->windowTitle(), QString("OrloVarnel  Ver 1.00"));
    QVERIFY(!session.Find<QWidget>("PanelConvert")->isVisible());
    QVERIFY(!session.Find<QWidget>("PanelArkInfo")->isVisible());
    QVERIFY(!session.Find<QWidget>("PanelTaskComplete")->isVisible());
    QCOMPARE(session.Text("PanelArkFileName"), QString("-----"));
    QVERIFY(!session.Find<QCheckBox>("CheckBoxRetainPackedBitsFile")->isChecked());
    QVERIFY(session.Close());
    const std::string log = session.LogText();
    QVERIFY(log.find("------------------PROGRAM START--------------------") != std::string::npos);
    QVERIFY(log.find("------------------PROGRAM END--------------------") != std::string::npos);
  }

  void RetainBoxAndPositionSurviveARestart() {
    testutil::TempDir dir;
    const std::string archive = dir.File("R.Ark");
    mkarchive::ArchiveSettings settings;
    settings.frame_count = 64;
    settings.setup_file.write = true;
    QVERIFY(mkarchive::WriteArchive(archive, settings, nullptr));
    {
      guitest::WindowSession session(dir.path());
      session.Select(archive);
      QCheckBox* retain = session.Find<QCheckBox>("CheckBoxRetainPackedBitsFile");
      QVERIFY(retain->isVisible());
      retain->click();
      QVERIFY(session.window->Driver()->RetainPackFile());
      session.window->move(140, 60);  // wholly on the 800 x 600 offscreen screen
      QVERIFY(session.Close());
    }
    guitest::WindowSession again(dir.path());
    QCOMPARE(again.window->pos(), QPoint(140, 60));
    again.Select(archive);
    QVERIFY(again.Find<QCheckBox>("CheckBoxRetainPackedBitsFile")->isChecked());
  }

  // A desktop session's SIGTERM closes the window like its close box: the
  // options file is saved and the log ends with its end banner.
  void TerminationSignalClosesTheWindowInOrder() {
    testutil::TempDir dir;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path()));  // a lock of its own
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString(dir.path()));
    program.start(QString(ORLO_BINARY_DIR) + "/OrloVarnel", {});
    QVERIFY(program.waitForStarted(30000));
    const std::string log = dir.File("OrloVarnel.Log");
    QTRY_VERIFY_WITH_TIMEOUT(testutil::ReadAllText(log).find("PROGRAM START") != std::string::npos,
                             30000);
    program.terminate();  // SIGTERM
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(testutil::ReadAllText(log).find("PROGRAM END") != std::string::npos);
    QVERIFY(FileExists(dir.File("OrloVarnel.Opt")));
  }

  // From the desktop menu (--state-folder) the log and options go to the
  // per-user state folder, made when missing; from a shell they stay in
  // the current folder.
  void MenuStartUsesThePerUserStateFolder() {
    testutil::TempDir dir;
    const std::string state = dir.File("state");  // does not exist yet
    for (const bool from_menu : {true, false}) {
      QProcess program;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert("QT_QPA_PLATFORM", "offscreen");
      env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path()));
      env.insert("XDG_STATE_HOME", QString::fromStdString(state));
      program.setProcessEnvironment(env);
      program.setWorkingDirectory(QString::fromStdString(dir.path()));
      program.start(QString(ORLO_BINARY_DIR) + "/OrloVarnel",
                    from_menu ? QStringList{"--state-folder"} : QStringList{});
      QVERIFY(program.waitForStarted(30000));
      const std::string log = from_menu ? state + "/orlovarnel/OrloVarnel.Log" : dir.File("OrloVarnel.Log");
      QTRY_VERIFY_WITH_TIMEOUT(testutil::ReadAllText(log).find("PROGRAM START") != std::string::npos,
                               30000);
      program.terminate();
      QVERIFY(program.waitForFinished(30000));
      QVERIFY(FileExists(from_menu ? state + "/orlovarnel/OrloVarnel.Opt" : dir.File("OrloVarnel.Opt")));
    }
  }

  // A log that cannot be written (a link at its name) is said once, in one
  // box at the start.
  void ALogThatWritesNothingIsSaidOnceAtTheStart() {
    testutil::TempDir dir;
    QVERIFY(symlink(dir.File("elsewhere.txt").c_str(), dir.File("OrloVarnel.Log").c_str()) == 0);
    guitest::WindowSession session(dir.path());
    QCOMPARE(session.boxes.size(), size_t(1));
    QVERIFY(QString::fromStdString(session.boxes[0])
                .startsWith(QString::fromStdString("WARNING: The log " + dir.File("OrloVarnel.Log") + " ")));
    QVERIFY(session.Close());
    QCOMPARE(session.boxes.size(), size_t(1));
    QVERIFY(!FileExists(dir.File("elsewhere.txt")));  // nothing written through the link
  }

  // The first copy is this test's window; the second is the program itself.
  void ASecondCopyIsRefusedWhileTheFirstRuns() {
    testutil::TempDir first_dir, second_dir;
    guitest::WindowSession first(first_dir.path());
    QVERIFY(first.window->HoldsInstanceLock());

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ORLOVARNEL_BOX_AUTOCLOSE_MS", "0");
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(QString::fromStdString(second_dir.path()));
    second.start(QString(ORLO_BINARY_DIR) + "/OrloVarnel", {});
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QVERIFY(second.exitCode() != 0);
    QVERIFY(QString(second.readAllStandardError())
                .contains("RUN FAIL: ALREADY HAVE THE PROGRAM RUNNING.  KILL IT FIRST!"));
    QVERIFY(!FileExists(second_dir.File("OrloVarnel.Log")));  // no log written

    // The first copy goes on as before.
    QVERIFY(first.window->isVisible());
    QCOMPARE(first.Text("PanelArkFileName"), QString("-----"));
    QVERIFY(first.Close());
    QVERIFY(first.LogText().find("PROGRAM END") != std::string::npos);
  }

  // The refresh thread waits for its tick while the user-interface thread
  // is busy; closing then must neither deadlock nor run that tick later.
  void ClosingWhileATickIsPendingEndsTheRefreshThread() {
    testutil::TempDir dir;
    guitest::WindowSession session(dir.path());
    QVERIFY(QTest::qWaitFor([&] { return session.window->RefreshThread()->TicksRun() >= 2; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // no events served
    tenhzthread* thread = session.window->RefreshThread();
    QVERIFY(thread->TickPending());
    QVERIFY(session.Close());
    QVERIFY(session.window->RefreshThread() == nullptr);  // ended and destroyed
    // The tick still queued runs into a closed window: it must do nothing
    // (the sanitizer build reports any use of what the shutdown destroyed).
    QCoreApplication::processEvents();
    QVERIFY(session.LogText().find("PROGRAM END") != std::string::npos);
  }

  void AboutBoxTexts() {
    testutil::TempDir dir;
    guitest::WindowSession session(dir.path());
    TZekBorAboutBoxForm about(session.window.get());
    about.Fill("OrloVarnel", "1.00", "OrloVarnel", dir.path(), "");
    QCOMPARE(about.windowTitle(), QString("About"));
    QCOMPARE(about.findChild<QLabel*>("ProductName")->text(), QString("OrloVarnel"));
    QCOMPARE(about.findChild<QLabel*>("Version")->text(), QString("Version 1.00"));
    about.show();
    QVERIFY(!about.findChild<QLabel*>("LabelComments")->isVisible());
    about.Fill("OrloVarnel", "1.00", "OrloVarnel", dir.path(), "abc");
    QVERIFY(about.findChild<QLabel*>("LabelComments")->isVisible());
    QCOMPARE(about.findChild<QLabel*>("LabelComments")->text(), QString("Comments : abc"));
    QCOMPARE(about.findChild<QPushButton*>("ButtonTrawler")->text(), QString("View Logs"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
