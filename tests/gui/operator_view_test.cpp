// What the operator sees of a conversion beyond its outputs: the same
// outputs under a comma-decimal desktop, the warnings of a damaged archive,
// a read-only output location and another folder chosen for the outputs
// (kept across a restart), the window's place across restarts, the retain
// box locked during a run and the time of the last frame read.
#include <sys/mount.h>

#include <QAction>
#include <QScreen>

#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "common/log_session.h"
#include "e2e/e2e_support.h"
#include "gui/gui_test_support.h"
#include "mkarchive/archive_generator.h"
#include "shell/conversion_driver.h"
#include "support/text_format.h"

namespace {

std::string MakeArchive(const std::string& folder, const std::string& name,
                        mkarchive::ArchiveSettings settings) {
  settings.setup_file.write = true;
  const std::string path = folder + "/" + name;
  return mkarchive::WriteArchive(path, settings, nullptr) ? path : std::string();
}

mkarchive::ArchiveSettings Frames(int64_t count) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = count;
  return settings;
}

std::string WithoutConversionDate(const std::string& notes) {
  const size_t at = notes.find("Converted on ");
  if (at == std::string::npos) return notes;
  return notes.substr(0, at) + notes.substr(notes.find("\r\n", at));
}

// A read-only view of `source` at `target` (a bind mount); false where the
// machine does not allow it.
bool MountReadOnly(const std::string& source, const std::string& target) {
  if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
  if (mount(nullptr, target.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    umount(target.c_str());
    return false;
  }
  return true;
}

// Unmounts at the end of the scope, also when a check fails part way.
struct MountGuard {
  std::string target;
  ~MountGuard() {
    if (!target.empty()) umount(target.c_str());
  }
};

}  // namespace

class OperatorViewTest : public QObject {
  Q_OBJECT

 private slots:
  void CommaLocaleWindowWritesWhatTheCommandLineWrites() {
    testutil::TempDir data, cli_start, gui_start;
    mkarchive::ArchiveSettings settings = Frames(3000);
    settings.gaps = {{1000, 3}};
    const std::string archive = MakeArchive(data.path(), "L.Ark", settings);
    const std::string ch10 = data.File("Ch10Conversion/L.ch10");
    const std::string notes = data.File("Ch10Conversion/L.CvtNotes");
    setenv("LC_ALL", "C", 1);
    QCOMPARE(e2e::RunConverter(cli_start.path(), "--quiet '" + archive + "'").status, 0);
    unsetenv("LC_ALL");
    std::vector<uint8_t> cli_ch10 = testutil::ReadAllBytes(ch10);
    const std::string cli_notes = testutil::ReadAllText(notes);
    const std::string cli_log = testutil::ReadAllText(cli_start.File("OrloVarnel.Log"));
    std::filesystem::remove_all(data.File("Ch10Conversion"));

    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
      QSKIP("no de_DE.UTF-8 locale (scripts/setup.sh generates it)");
    }
    QString progress;
    {
      guitest::WindowSession session(gui_start.path());
      session.Select(archive);
      session.Find<QPushButton>("SpeedButtonConvert")->click();
      session.window->RefreshTick();
      progress = session.ViewText("PanelArkInfo", "LabelProgress");
      QVERIFY(session.Close());
    }
    std::setlocale(LC_ALL, "C");
    QCOMPARE(progress, QString("100.00"));
    std::vector<uint8_t> gui_ch10 = testutil::ReadAllBytes(ch10);
    testutil::MaskConversionDate(gui_ch10);
    testutil::MaskConversionDate(cli_ch10);
    QVERIFY(!gui_ch10.empty() && gui_ch10 == cli_ch10);
    const std::string gui_notes = testutil::ReadAllText(notes);
    QVERIFY(gui_notes.find("Minor Frame Rate (Hz) : 1000.00") != std::string::npos);
    QCOMPARE(WithoutConversionDate(gui_notes), WithoutConversionDate(cli_notes));
    const std::string gui_log = testutil::ReadAllText(gui_start.File("OrloVarnel.Log"));
    QCOMPARE(testutil::CountOf(gui_log, ","), testutil::CountOf(cli_log, ","));
    QVERIFY(guitest::LogLinesWithoutTimes(gui_log) == guitest::LogLinesWithoutTimes(cli_log));
  }

  void WarningsEndTheRunInOneBox() {
    testutil::TempDir dir;
    mkarchive::ArchiveSettings settings = Frames(2000);
    settings.time_shifts = {{700, 3600LL * 1000000, false}};  // one frame an hour late
    settings.cut_tail_bytes = 100;                            // cut inside the last block
    const std::string archive = MakeArchive(dir.path(), "D.Ark", settings);
    guitest::WindowSession session(dir.path());
    session.Select(archive);
    QVERIFY(session.boxes.empty());
    session.Find<QPushButton>("SpeedButtonConvert")->click();
    QCOMPARE(session.Text("PanelTaskComplete"), QString("Conversion Complete, 2 Warnings"));
    QCOMPARE(session.boxes.size(), size_t(1));
    const std::string notes = testutil::ReadAllText(dir.File("Ch10Conversion/D.CvtNotes"));
    std::string expected = "WARNING: D: Conversion Complete, 2 Warnings";
    for (const runwarningstruct& warning : session.window->Driver()->Warnings()) {
      const std::string line = kNotesWarningPrefix + warning.text;
      QVERIFY(notes.find(line + "\r\n") != std::string::npos);  // the notes' own words
      expected += "\n" + line;
    }
    QCOMPARE(QString::fromStdString(session.boxes[0]), QString::fromStdString(expected));
  }

  void ReadOnlyOutputsOfferAnotherFolderKeptAcrossARestart() {
    testutil::TempDir source, view, elsewhere, start;
    const std::string archive_name = "RO01.Ark";
    QVERIFY(!MakeArchive(source.path(), archive_name, Frames(500)).empty());
    std::string folder = view.path();
    const bool mounted = MountReadOnly(source.path(), view.path());
    MountGuard guard{mounted ? view.path() : std::string()};
    if (!mounted) {
      // No mount here: an output folder that cannot be made stands in.
      folder = source.path();
      testutil::WriteAllText(source.File("Ch10Conversion"), "a file, not a folder\r\n");
    }
    const std::string archive = folder + "/" + archive_name;
    std::vector<std::string> questions;
    std::string offered_folder;
    {
      guitest::WindowSession session(start.path());
      bool choose = false;
      SetQuestionHook([&](const std::string& caption, const std::string& text) {
        questions.push_back(caption + ": " + text);
        return choose;
      });
      session.Select(archive);
      QCOMPARE(questions.size(), size_t(1));
      QVERIFY(session.boxes.empty());  // the question is the one box
      QVERIFY(questions[0].find(mounted ? "Read-only file system" : "Could not create the output folder") !=
              std::string::npos);
      QVERIFY(!session.Find<QWidget>("PanelConvert")->isVisible());

      // Yes, and another folder: the same archive converts there.
      choose = true;
      SetFolderChooser([&](const std::string& initial, std::string& chosen) {
        offered_folder = initial;
        chosen = elsewhere.path();
        return true;
      });
      session.Select(archive);
      SetFolderChooser(nullptr);
      SetQuestionHook(nullptr);
      QCOMPARE(questions.size(), size_t(2));
      QVERIFY(session.Find<QWidget>("PanelConvert")->isVisible());
      QVERIFY(session.Text("LabelOutputFolder").contains(QString::fromStdString(elsewhere.path())));
      session.Find<QPushButton>("SpeedButtonConvert")->click();
      QCOMPARE(session.Text("PanelTaskComplete"), QString("Conversion Complete"));
      QVERIFY(session.boxes.empty());
      QVERIFY(session.Close());
    }
    QVERIFY(FileExists(elsewhere.File("RO01.ch10")));
    QVERIFY(FileExists(elsewhere.File("RO01.CvtNotes")));

    // The choice survives a restart; the menu's second item returns to
    // the default.
    guitest::WindowSession again(start.path());
    QVERIFY(again.Text("LabelOutputFolder").contains(QString::fromStdString(elsewhere.path())));
    again.window->findChild<QAction*>("MenuOptionsDefaultOutputFolder")->trigger();
    QVERIFY(again.Text("LabelOutputFolder").contains("Ch10Conversion beside the archive"));
    again.Select(source.File(archive_name));
    if (mounted) QCOMPARE(again.Text("LabelOutputFolder"), QString::fromStdString("Output Folder: " + source.File("Ch10Conversion")));
  }

  void ThreeRestartsKeepThePlaceAndTheScreenHoldsTheWindow() {
    testutil::TempDir dir;
    QPoint first;
    for (int k = 0; k < 4; ++k) {
      guitest::WindowSession session(dir.path());
      if (k == 0) {
        session.window->move(123, 45);
        first = session.window->pos();
      } else {
        QCOMPARE(session.window->pos(), first);
      }
      QVERIFY(session.Close());
    }
    // Saved off the screen (and past its right edge): moved onto it.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint saved : {QPoint(-900, -700), QPoint(area.right() - 20, area.bottom() - 20)}) {
      testutil::WriteAllText(dir.File("OrloVarnel.Opt"),
                             "[Position Area]\r\nMainScreenPos.left=" + std::to_string(saved.x()) +
                                 "\r\nMainScreenPos.top=" + std::to_string(saved.y()) + "\r\n");
      guitest::WindowSession session(dir.path());
      QVERIFY(area.contains(session.window->frameGeometry()));
      QVERIFY(session.Close());
    }
  }

  void RetainBoxLockedDuringARunAndLastFrameTimeShown() {
    testutil::TempDir dir;
    mkarchive::ArchiveSettings settings = Frames(16 * 400);
    const std::string archive = MakeArchive(dir.path(), "T.Ark", settings);
    guitest::WindowSession session(dir.path());
    session.Select(archive);
    QCheckBox* retain = session.Find<QCheckBox>("CheckBoxRetainPackedBitsFile");
    QVERIFY(retain->isEnabled());
    // Before a run: the archive's start time.
    QCOMPARE(session.ViewText("PanelArkInfo", "LabelCurrentFileTime"),
             QString::fromStdString(FormatDayTimeMicro(settings.start_time)));
    bool enabled_during_run = true;
    session.window->SetPumpObserver([&] { enabled_during_run &= retain->isEnabled(); });
    session.Find<QPushButton>("SpeedButtonConvert")->click();
    session.window->SetPumpObserver(nullptr);
    QVERIFY(!enabled_during_run);
    QVERIFY(retain->isEnabled());
    // After it: the last frame's own time.
    session.window->RefreshTick();
    const double last = settings.start_time + (settings.frame_count - 1) / settings.frame_rate_hz;
    QCOMPARE(session.ViewText("PanelArkInfo", "LabelCurrentFileTime"),
             QString::fromStdString(FormatDayTimeMicro(last)));
  }
};

QTEST_MAIN(OperatorViewTest)
#include "operator_view_test.moc"
