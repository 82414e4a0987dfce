// Converting from the window: a selected archive converts to the same
// outputs and log as the command-line converter writes, both views fill,
// Cancel and closing the window abort, a second Convert click during a run
// starts nothing, and the setup prompts appear as input boxes.
#include <QInputDialog>
#include <QProgressBar>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "archive/setup_prompts.h"
#include "common/log_session.h"
#include "e2e/e2e_support.h"
#include "gui/gui_prompts.h"
#include "gui/gui_test_support.h"
#include "mkarchive/archive_generator.h"
#include "shell/conversion_driver.h"

namespace {

// Long enough for many event pumps in the run (one per 101 blocks).
std::string MakeArchive(const testutil::TempDir& dir, const std::string& name, int64_t frames,
                        bool setup_file = true) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = frames;
  settings.setup_file.write = setup_file;
  settings.gaps = {{frames / 3, 4}};
  const std::string path = dir.File(name);
  return mkarchive::WriteArchive(path, settings, nullptr) ? path : std::string();
}

// The notes with the one line that carries the conversion's date and time
// taken out.
std::string WithoutConversionDate(const std::string& notes) {
  const size_t at = notes.find("Converted on ");
  if (at == std::string::npos) return notes;
  return notes.substr(0, at) + notes.substr(notes.find("\r\n", at));
}

}  // namespace

class ConversionWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ConvertsLikeTheCommandLine() {
    testutil::TempDir data, cli_start, gui_start;
    const std::string archive = MakeArchive(data, "E2E.Ark", 5000);
    QVERIFY(!archive.empty());
    const std::string ch10 = data.File("Ch10Conversion/E2E.ch10");
    const std::string notes = data.File("Ch10Conversion/E2E.CvtNotes");

    // The command line first, on the same archive path (the notes name it).
    QCOMPARE(e2e::RunConverter(cli_start.path(), "--quiet '" + archive + "'").status, 0);
    const std::vector<uint8_t> cli_ch10 = testutil::ReadAllBytes(ch10);
    const std::string cli_notes = testutil::ReadAllText(notes);
    const std::string cli_log = testutil::ReadAllText(cli_start.File("OrloVarnel.Log"));
    QVERIFY(!cli_ch10.empty());
    std::filesystem::remove_all(data.File("Ch10Conversion"));

    guitest::WindowSession session(gui_start.path());
    session.Select(archive);
    QCOMPARE(session.Text("PanelArkFileName"), QString("E2E"));
    QVERIFY(session.Find<QWidget>("PanelConvert")->isVisible());
    QVERIFY(session.Find<QWidget>("PanelArkInfo")->isVisible());
    QVERIFY(!session.ViewText("PanelArkInfo", "LabelStartFileTime").isEmpty());

    // The views show progress part way through the run.
    QString during_progress;
    bool pressed_during_run = false;
    session.window->SetPumpObserver([&] {
      if (!during_progress.isEmpty()) return;
      session.window->RefreshTick();
      during_progress = session.ViewText("PanelArkInfo", "LabelProgress");
      pressed_during_run = session.Find<QPushButton>("SpeedButtonConvert")->isChecked();
    });
    session.Find<QPushButton>("SpeedButtonConvert")->click();
    session.window->SetPumpObserver(nullptr);
    QVERIFY(pressed_during_run);
    QVERIFY(during_progress.toDouble() > 0.0 && during_progress.toDouble() < 100.0);

    QCOMPARE(session.Text("PanelTaskComplete"), QString("Conversion Complete"));
    QVERIFY(session.Find<QWidget>("PanelTaskComplete")->isVisible());
    QVERIFY(!session.Find<QWidget>("PanelConvert")->isVisible());  // converted: select again
    QVERIFY(session.Find<QWidget>("PanelCh10Info")->isVisible());
    session.window->RefreshTick();
    QCOMPARE(session.ViewText("PanelArkInfo", "LabelProgress"), QString("100.00"));
    // The counts the command line's notes give.
    std::map<std::string, std::string> cli_values = e2e::NotesValues(cli_notes);
    QCOMPARE(session.ViewText("PanelArkInfo", "LabelTotalFrames"),
             QString::fromStdString(cli_values["Ark file Total Frame Count"]));
    QCOMPARE(session.ViewText("PanelArkInfo", "LabelArkMissedFrames"), QString("4"));
    QCOMPARE(session.ViewText("PanelCh10Info", "LabelPcmPkts"),
             QString::fromStdString(cli_values["Ch10 file PCM Packet Count"]));
    QCOMPARE(session.ViewText("PanelCh10Info", "LabelTimePkts"),
             QString::fromStdString(cli_values["Ch10 file Time Packet Count"]));
    QCOMPARE(session.ViewText("PanelCh10Info", "LabelProgress"), QString("100.00"));
    QCOMPARE(session.Find<QWidget>("PanelCh10Info")->findChild<QProgressBar*>("ProgressBar1")->value(),
             100);
    QVERIFY(session.Close());

    // Byte for byte, but for the conversion time in the TMATS comment (the
    // two runs may lie on either side of a change of second).
    std::vector<uint8_t> gui_ch10 = testutil::ReadAllBytes(ch10);
    std::vector<uint8_t> cli_ch10_masked = cli_ch10;
    testutil::MaskConversionDate(gui_ch10);
    testutil::MaskConversionDate(cli_ch10_masked);
    QCOMPARE(gui_ch10.size(), cli_ch10.size());
    QVERIFY(gui_ch10 == cli_ch10_masked);
    QCOMPARE(WithoutConversionDate(testutil::ReadAllText(notes)), WithoutConversionDate(cli_notes));
    QVERIFY(guitest::LogLinesWithoutTimes(session.LogText()) ==
            guitest::LogLinesWithoutTimes(cli_log));
  }

  void CancelDuringARunAborts() {
    testutil::TempDir dir;
    const std::string archive = MakeArchive(dir, "C.Ark", 20000);
    guitest::WindowSession session(dir.path());
    session.Select(archive);
    int pumps = 0;
    session.window->SetPumpObserver([&] {
      if (++pumps == 1) {
        // A second Convert click during the run starts nothing...
        session.Find<QPushButton>("SpeedButtonConvert")->click();
        // ...and Cancel aborts it.
        session.Find<QPushButton>("ButtonCancel")->click();
      }
    });
    session.Find<QPushButton>("SpeedButtonConvert")->click();
    QCOMPARE(pumps, 1);  // the pass ended at its next iteration
    QCOMPARE(session.Text("PanelTaskComplete"), QString("Conversion Aborted"));
    QCOMPARE(session.beeps.Count(BeepKind::Error), 1);  // the refused second run
    QCOMPARE(session.beeps.Count(BeepKind::Done), 0);
    QVERIFY(session.Close());
    const std::string log = session.LogText();
    QCOMPARE(testutil::CountOf(log, "BEGIN ARK TO CH10 CONVERSION"), 1);
    QCOMPARE(testutil::CountOf(log, "END ARK TO CH10 CONVERSION"), 1);
  }

  void ClosingDuringARunAbortsAndCloses() {
    testutil::TempDir dir;
    const std::string archive = MakeArchive(dir, "W.Ark", 20000);
    guitest::WindowSession session(dir.path());
    session.Select(archive);
    bool closed_at_once = true;
    session.window->SetPumpObserver([&] {
      if (closed_at_once) closed_at_once = session.window->close();
    });
    session.Find<QPushButton>("SpeedButtonConvert")->click();
    QVERIFY(!closed_at_once);  // refused while the run is in progress
    QCOMPARE(session.Text("PanelTaskComplete"), QString("Conversion Aborted"));
    QVERIFY(QTest::qWaitFor([&] { return !session.window->isVisible(); }, 5000));
    const std::string log = session.LogText();
    QVERIFY(log.find("Window closed during a conversion: Conversion Aborted") != std::string::npos);
    QVERIFY(log.find("END ARK TO CH10 CONVERSION") < log.find("PROGRAM END"));
    // What the aborted run wrote is kept beside where the outputs go.
    QVERIFY(FileExists(dir.File("Ch10Conversion/W.CvtNotes.partial")));
    QVERIFY(!FileExists(dir.File("Ch10Conversion/W.CvtNotes")));
  }

  void AFailedOpenOrACancelledDialogOffersNoConversion() {
    testutil::TempDir dir;
    const std::string archive = MakeArchive(dir, "A.Ark", 64);
    testutil::WriteAllText(dir.File("BAD.Ark"), "not an archive\r\n");
    guitest::WindowSession session(dir.path());
    session.Select(dir.File("BAD.Ark"));
    QVERIFY(!session.Find<QWidget>("PanelConvert")->isVisible());
    // One box, with the specific reason.
    QCOMPARE(session.boxes.size(), size_t(1));
    const std::string reason = session.window->Driver()->RefusalReason();
    QVERIFY(!reason.empty());
    QCOMPARE(QString::fromStdString(session.boxes.back()),
             QString::fromStdString("ERROR: Could not open ARK file for reading: BAD.Ark: " + reason));

    session.Select(archive);
    QVERIFY(session.Find<QWidget>("PanelConvert")->isVisible());
    openfilerequest asked;
    SetOpenFileChooser([&](const openfilerequest& request, std::string&) {
      asked = request;
      return false;  // Cancel
    });
    QTest::mouseClick(session.Find<QLabel>("PanelArkFileName"), Qt::LeftButton);
    QCOMPARE(QString::fromStdString(asked.title), QString("Open File"));
    QCOMPARE(QString::fromStdString(asked.initial_folder), QString::fromStdString(dir.path() + "/"));
    QCOMPARE(QString::fromStdString(asked.default_name), QString("A"));
    QCOMPARE(QString::fromStdString(asked.filter), QString("File Type (*.ARK *.ark *.Ark)"));
    QVERIFY(!session.Find<QWidget>("PanelConvert")->isVisible());
    QVERIFY(!session.Find<QWidget>("PanelArkInfo")->isVisible());
    QCOMPARE(session.Text("PanelArkFileName"), QString("-----"));
  }

  void SetupPromptsAreInputBoxes() {
    testutil::TempDir dir;
    const std::string archive = MakeArchive(dir, "P.Ark", 64, false);
    guitest::WindowSession session(dir.path());
    InstallWindowBoxes();
    SetMessageBoxHook(nullptr);
    // Stands in for the operator: answers each input box as it opens.
    QStringList answers{"12", "2"};
    QStringList shown;
    QTimer operator_hand;
    operator_hand.setInterval(10);
    connect(&operator_hand, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (box == nullptr || answers.isEmpty()) return;
      shown << box->windowTitle() + " | " + box->labelText() + " | " + box->textValue();
      box->setTextValue(answers.takeFirst());
      box->accept();
    });
    operator_hand.start();
    session.Select(archive);
    SetTextInputHook(nullptr);
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0], QString("Input Range 3 - 16 | Enter the Common Word Length | 16"));
    QCOMPARE(shown[1], QString("Input Range 0 - 5 | Enter the SFID MSB | 5"));
    QCOMPARE(session.Text("PanelArkFileName"), QString("P"));
  }
};

QTEST_MAIN(ConversionWindowTest)
#include "conversion_window_test.moc"
