#include "gui/varnel_main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "archive/archive_reader.h"
#include "gui/about_box_form.h"
#include "gui/ark_display_form.h"
#include "gui/ch10_display_form.h"
#include "gui/form_widgets.h"
#include "gui/open_file_dialog.h"
#include "gui/ten_hz_thread.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "support/beeper.h"
#include "support/error_log.h"
#include "support/profile_files.h"
#include "support/text_format.h"

namespace {

// The private message that runs the deferred start behind the events
// already pending when the window is first shown.
const QEvent::Type kDeferredStartEvent = static_cast<QEvent::Type>(QEvent::User + 0x7FFF);

constexpr int kClientWidth = 561;
constexpr int kClientHeight = 386;

TVarnelMainForm* g_main_form = nullptr;  // for the termination handler

// A panel that shows a text and reports clicks.
class ClickablePanel : public QLabel {
 public:
  ClickablePanel(QWidget* parent, std::function<void()> on_click)
      : QLabel(parent), on_click_(std::move(on_click)) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        isEnabled()) {
      on_click_();
    }
    QLabel::mouseReleaseEvent(event);
  }

 private:
  std::function<void()> on_click_;
};

}  // namespace

TVarnelMainForm::TVarnelMainForm(QWidget* parent) : QMainWindow(parent) {
  setObjectName("TVarnelMainForm");
  // A tool-like window: thin caption with the close box only, fixed size.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(FormFont());
  BuildControls();
  FormCreate();
}

TVarnelMainForm::~TVarnelMainForm() {
  // A window destroyed without being closed (a test, or an error during
  // start-up) still shuts the program down in order.
  if (first_show_done_ && !shut_down_) ProgramShutdown();
  if (g_main_form == this) g_main_form = nullptr;
}

void TVarnelMainForm::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  client->setFixedSize(kClientWidth, kClientHeight);
  SetBackground(client, kNavy);
  setCentralWidget(client);

  QMenu* view = menuBar()->addMenu("View");
  view->setObjectName("View1");
  QAction* error_log = view->addAction("Error Log");
  error_log->setObjectName("MenuViewErrorLog");
  connect(error_log, &QAction::triggered, this, [this] { MenuViewErrorLogClick(); });
  QMenu* options = menuBar()->addMenu("Options");
  options->setObjectName("Options1");
  QAction* output_folder = options->addAction("Output Folder...");
  output_folder->setObjectName("MenuOptionsOutputFolder");
  connect(output_folder, &QAction::triggered, this, [this] { MenuOptionsOutputFolderClick(); });
  QAction* default_folder = options->addAction("Default Output Folder");
  default_folder->setObjectName("MenuOptionsDefaultOutputFolder");
  connect(default_folder, &QAction::triggered, this,
          [this] { MenuOptionsDefaultOutputFolderClick(); });
  QAction* about = menuBar()->addAction("About");
  about->setObjectName("About1");
  connect(about, &QAction::triggered, this, [this] { About1Click(); });

  PanelFileName = PlacePanel(client, "PanelFileName", 8, 36, 263, 89, PanelBevel::Raised);
  SetBackground(PanelFileName, kFormGrey);
  PlaceLabel(PanelFileName, "Label2", "Archive File To Convert", 72, 8, true);
  PanelArkFileName = new ClickablePanel(PanelFileName, [this] { PanelArkFileNameClick(); });
  PanelArkFileName->setObjectName("PanelArkFileName");
  PanelArkFileName->setGeometry(10, 28, 241, 23);
  PanelArkFileName->setFrameStyle(QFrame::Panel | QFrame::Raised);
  PanelArkFileName->setAlignment(Qt::AlignCenter);
  PanelArkFileName->setToolTip("Click to select ARK file to convert");
  PanelArkFileName->setCursor(Qt::PointingHandCursor);
  PanelTaskComplete = new QLabel(PanelFileName);
  PanelTaskComplete->setObjectName("PanelTaskComplete");
  // Wide enough for the outcome with its warning count.
  PanelTaskComplete->setGeometry(6, 60, 251, 23);
  PanelTaskComplete->setFrameStyle(QFrame::NoFrame);
  PanelTaskComplete->setAlignment(Qt::AlignCenter);
  PanelTaskComplete->setFont(FormFont(true));

  PanelConvert = PlacePanel(client, "PanelConvert", 325, 35, 191, 113, PanelBevel::Raised);
  CheckBoxRetainPackedBitsFile = new QCheckBox("Retain Temp Packed Bits File", PanelConvert);
  CheckBoxRetainPackedBitsFile->setObjectName("CheckBoxRetainPackedBitsFile");
  CheckBoxRetainPackedBitsFile->setGeometry(10, 18, 167, 17);
  CheckBoxRetainPackedBitsFile->setLayoutDirection(Qt::RightToLeft);  // text on the left
  connect(CheckBoxRetainPackedBitsFile, &QCheckBox::toggled, this,
          [this] { CheckBoxRetainPackedBitsFileClick(); });
  SpeedButtonConvert = new QPushButton("Convert The File", PanelConvert);
  SpeedButtonConvert->setObjectName("SpeedButtonConvert");
  SpeedButtonConvert->setGeometry(26, 46, 117, 22);
  SpeedButtonConvert->setCheckable(true);
  connect(SpeedButtonConvert, &QPushButton::clicked, this, [this] { SpeedButtonConvertClick(); });
  ButtonCancel = new QPushButton("Cancel", PanelConvert);
  ButtonCancel->setObjectName("ButtonCancel");
  ButtonCancel->setGeometry(64, 88, 46, 19);
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });

  PanelArkInfo = PlacePanel(client, "PanelArkInfo", 8, 160, 265, 210, PanelBevel::InsetRaised);
  SetBackground(PanelArkInfo, kFormGrey);
  PanelCh10Info = PlacePanel(client, "PanelCh10Info", 285, 160, 265, 164, PanelBevel::InsetRaised);
  SetBackground(PanelCh10Info, kFormGrey);
  // Where the outputs go, on the window's navy below the Chapter 10 view.
  LabelOutputFolder = new QLabel(client);
  LabelOutputFolder->setObjectName("LabelOutputFolder");
  LabelOutputFolder->setGeometry(285, 330, 265, 50);
  LabelOutputFolder->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  LabelOutputFolder->setWordWrap(true);
  LabelOutputFolder->setStyleSheet("color: white;");

  setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
}

void TVarnelMainForm::FormCreate() {
  // Single-instance check: the caller refuses to run without the lock.
  instance_lock_.Acquire(kProgramName);
  initialised_ = false;
}

void TVarnelMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!first_show_done_ && !initialised_) FormShow();
}

void TVarnelMainForm::FormShow() {
  first_show_done_ = true;
  StartErrorLog(false, kOrloVersionText, kProgramName, "", kProgramName);
  g_main_form = this;
  std::set_terminate(TerminationHandler);
  options_ = std::make_unique<progoptionsclass>();
  driver_ = std::make_unique<conversiondriverclass>(*options_, [this] { PumpEvents(); });
  driver_->SetProgressViewFactory(this);
  driverwindowhooks hooks;
  hooks.Refresh = [this] { RefreshControls(); };
  hooks.JobReset = [this] { HideJobAreas(); };
  hooks.RunStarted = [this] {
    PanelCh10Info->hide();
    PanelTaskComplete->hide();
    SetConvertColour(true);
  };
  hooks.RunEnded = [this](const std::string& outcome) { ShowRunEnd(outcome); };
  driver_->SetWindowHooks(std::move(hooks));
  driver_->SetOutputFolder(options_->Options().OutputFolder);

  PlaceWindow(options_->Options().MainScreenPos.left, options_->Options().MainScreenPos.top);
  refreshing_ = false;
  HideJobAreas();
  driver_->ResetJob();
  RefreshControls();
  setWindowTitle(QString("%1  Ver %2").arg(kProgramName, kOrloVersionText));
  // A log that writes nothing (a link at its name, ...) is said once.
  const std::string log_problem = ErrorLogProblem();
  if (!log_problem.empty()) ShowMessageBox("WARNING", "The log " + ErrorLogPath() + " " + log_problem);
  QCoreApplication::postEvent(this, new QEvent(kDeferredStartEvent));
}

bool TVarnelMainForm::event(QEvent* event) {
  if (event->type() == kDeferredStartEvent) {
    DeferredStart();
    return true;
  }
  return QMainWindow::event(event);
}

void TVarnelMainForm::DeferredStart() {
  if (initialised_ || shut_down_) return;
  initialised_ = true;
  // A window manager frames the window after it was first placed and puts
  // the client area (not the frame) where the frame should be: once it has
  // framed it, the frame goes where it was saved, or the window would creep
  // by its caption at every start.
  if (pos() != placed_at_) PlaceWindow(placed_at_.x(), placed_at_.y());
  for (const int ms : {100, 400}) {
    QTimer::singleShot(ms, this, [this] {
      if (!shut_down_ && pos() != placed_at_) {
        PlaceWindow(placed_at_.x(), placed_at_.y());
      }
    });
  }
  RefreshControls();
  // The tick goes to the window's event queue; Qt drops it if the window
  // is gone by then.
  refresh_thread_ = std::make_unique<tenhzthread>(
      [this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
      },
      [this] { RefreshTick(); });
  refresh_thread_->Start();
  if (started_observer_) started_observer_();
}

void TVarnelMainForm::HideJobAreas() {
  PanelArkInfo->hide();
  PanelCh10Info->hide();
  PanelConvert->hide();
  PanelTaskComplete->hide();
  SetConvertColour(false);
}

void TVarnelMainForm::SetConvertColour(bool running) {
  SetBackground(PanelConvert, running ? kRunningLime : kIdleYellow);
}

void TVarnelMainForm::RefreshControls() {
  if (refreshing_ || IsProgramClosing() || !driver_) return;
  refreshing_ = true;
  // Convert is offered only where the outputs can be written.
  PanelConvert->setVisible(driver_->Ready() && (driver_->Running() || driver_->OutputsWritable()));
  PanelFileName->setEnabled(!driver_->Running());
  SpeedButtonConvert->setChecked(driver_->Running());
  PanelArkFileName->setText(QString::fromStdString(driver_->ArchiveDisplayName()));
  CheckBoxRetainPackedBitsFile->setChecked(driver_->RetainPackFile());
  // The run takes the choice at its start: a change during it would only
  // be remembered for the next run.
  CheckBoxRetainPackedBitsFile->setEnabled(!driver_->Running());
  menuBar()->findChild<QMenu*>("Options1")->setEnabled(!driver_->Running());
  ShowOutputFolder();
  if (archive_view_) archive_view_->FixedRefresh();
  if (ch10_view_) ch10_view_->FixedRefresh();
  refreshing_ = false;
}

void TVarnelMainForm::RefreshTick() {
  if (IsProgramClosing() || !driver_) return;
  if (driver_->Archive() && archive_view_) archive_view_->PeriodicRefresh();
  if (driver_->Converter() && ch10_view_) ch10_view_->PeriodicRefresh();
  PanelConvert->repaint();
}

void TVarnelMainForm::PumpEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (pump_observer_) pump_observer_();
}

std::unique_ptr<progressviewclass> TVarnelMainForm::CreateArchiveView(const orloarkclass& archive,
                                                                      const orloarkpackclass& pack) {
  auto view = std::make_unique<TOrloArkDisplayForm>(
      PanelArkInfo, archive, pack, [this] { return driver_ ? driver_->LastFrameTime() : 0.0; });
  archive_view_ = view.get();
  PanelArkInfo->show();
  return view;
}

std::unique_ptr<progressviewclass> TVarnelMainForm::CreateCh10View(
    const ch10convertprocessclass& converter, const orloarkclass& archive) {
  auto view = std::make_unique<TCh10ProcDisplayForm>(PanelCh10Info, converter, archive);
  ch10_view_ = view.get();
  PanelCh10Info->show();
  return view;
}

void TVarnelMainForm::PanelArkFileNameClick() {
  if (!driver_) return;
  std::string folder, default_name;
  if (driver_->PrepareSelection(folder, default_name)) {
    std::string chosen;
    if (BrowseForOpenFile(this, folder, kArchiveDialogExtension, default_name, chosen)) {
      OpenSelectedArchive(chosen);
    }
  }
  RefreshControls();
}

void TVarnelMainForm::SpeedButtonConvertClick() {
  if (!driver_) return;
  // A click during a run reaches here through the event pump: the driver
  // refuses it (error beep) and the button is shown pressed again.
  const bool outer_run = !driver_->Running();
  driver_->RunConversion();
  RefreshControls();
  if (outer_run && close_after_run_) {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

void TVarnelMainForm::ButtonCancelClick() {
  if (driver_) driver_->RequestAbort();
}

void TVarnelMainForm::CheckBoxRetainPackedBitsFileClick() {
  if (refreshing_ || !initialised_ || !driver_) return;
  driver_->SetRetainPackFile(CheckBoxRetainPackedBitsFile->isChecked());
  RefreshControls();
}

void TVarnelMainForm::MenuViewErrorLogClick() {
  // The viewer gets the log file's own name: names are case-sensitive here.
  if (!log_viewer_.Launch(ErrorLogPath())) {
    ShowMessageBox("INFO", "No log viewer could be started. The log is " + ErrorLogPath());
  }
}

void TVarnelMainForm::About1Click() {
  TZekBorAboutBoxForm about(this);
  about.ShowAbout(kProgramName, kOrloVersionText, kProgramName, StartFolder(), "");
}

void TVarnelMainForm::closeEvent(QCloseEvent* event) {
  if (FormCloseQuery()) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool TVarnelMainForm::FormCloseQuery() {
  if (shut_down_ || !first_show_done_) return true;
  if (driver_ && driver_->Running()) {
    // The run uses the objects the shutdown destroys: abort it, and close
    // once it has returned.
    if (!close_after_run_) LogInfo("Window closed during a conversion: Conversion Aborted", 0, false);
    close_after_run_ = true;
    driver_->RequestAbort();
    return false;
  }
  ProgramShutdown();
  return true;
}

void TVarnelMainForm::ProgramShutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  SetProgramClosing(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (refresh_thread_) {
    refresh_thread_->Terminate();
    refresh_thread_.reset();
  }
  log_viewer_.End();
  if (options_) {
    // The frame's place, as PlaceWindow restores it.
    options_->SetMainWindowPosition({x(), y(), width(), height()});
  }
  driver_.reset();  // converter, archive view, archive object
  options_.reset();  // saves the options file
  EndErrorLog(false);
}

void TVarnelMainForm::TerminationHandler() {
  BeepError();
  LogLine("Abnormal Program Termination", 5000);
  if (g_main_form) g_main_form->ProgramShutdown();
  std::abort();
}

void TVarnelMainForm::PlaceWindow(int left, int top) {
  // The frame's outer size: known once the window manager framed the
  // window; before that the client area's.
  const QSize outer = frameGeometry().size().expandedTo(size());
  QScreen* screen = QGuiApplication::screenAt(QPoint(left + outer.width() / 2, top + 10));
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->availableGeometry();
    left = std::max(area.left(), std::min(left, area.right() + 1 - outer.width()));
    top = std::max(area.top(), std::min(top, area.bottom() + 1 - outer.height()));
  }
  placed_at_ = QPoint(left, top);
  move(placed_at_);
}

void TVarnelMainForm::OpenSelectedArchive(const std::string& path) {
  for (;;) {
    // The open's own boxes are gathered: the operator gets one box.
    std::vector<std::pair<std::string, std::string>> boxes;
    MessageBoxHook previous = ExchangeMessageBoxHook(
        [&boxes](const std::string& caption, const std::string& text) {
          boxes.emplace_back(caption, text);
        });
    const bool opened = driver_->OpenArchive(path);
    ExchangeMessageBoxHook(std::move(previous));
    RefreshControls();

    const std::string name = OneLineQuoted(path.substr(path.find_last_of('/') + 1));
    std::string extra;  // what the open warned of besides the reason
    for (const runwarningstruct& warning : driver_->Warnings()) {
      if (warning.kind == RunWarningKind::UnusedSetupFile) {
        extra += "\nSetup file not used: " + warning.text;
      }
    }
    if (!opened && !driver_->OutputsRefused()) {
      ShowMessageBox("ERROR", std::string(kArchiveOpenFailedText) + ": " + name + ": " +
                                  driver_->RefusalReason() + extra);
      return;
    }
    std::string why;
    if (!opened) {
      why = "Not converted: " + driver_->RefusalReason();
    } else if (!driver_->OutputsWritable()) {
      // The first box of the open says why (the folder could not be made).
      why = boxes.empty() ? "The outputs cannot be written to " + driver_->OutputFolder()
                          : boxes.front().second;
    } else {
      // Opened: whatever the open said, in one box.
      if (boxes.empty()) return;
      std::string caption = "INFO", text;
      for (const auto& [box_caption, box_text] : boxes) {
        if (box_caption == "ERROR" || (box_caption == "WARNING" && caption == "INFO")) {
          caption = box_caption;
        }
        text += (text.empty() ? "" : "\n") + box_text;
      }
      ShowMessageBox(caption, text);
      return;
    }
    if (!AskYesNo(this, "ERROR",
                  name + ": the outputs cannot be written where they would go.\n" + why + extra +
                      "\n\nChoose another folder for the outputs?") ||
        !ChooseOutputFolder()) {
      return;
    }
    // The same archive again, its outputs in the folder chosen: a job of
    // its own, so that the failure of the first folder is not carried.
    driver_->ResetJob();
  }
}

bool TVarnelMainForm::ChooseOutputFolder() {
  std::string start = options_->Options().OutputFolder;
  if (start.empty()) start = options_->Options().LastArchiveDir;
  std::string chosen;
  if (!BrowseForFolder(this, "Output Folder", start, chosen)) return false;
  ApplyOutputFolder(chosen);
  return true;
}

void TVarnelMainForm::ApplyOutputFolder(const std::string& folder) {
  options_->SetOutputFolder(folder);
  driver_->SetOutputFolder(folder);
  LogInfo(folder.empty() ? std::string("Outputs go to ") + kOutputFolderName + " beside the archive"
                         : "Outputs go to " + folder,
          0, false);
  ShowOutputFolder();
}

void TVarnelMainForm::MenuOptionsOutputFolderClick() {
  if (!driver_ || driver_->Running()) return;
  if (!ChooseOutputFolder()) return;
  // An archive already selected takes the new folder at once.
  if (driver_->Archive()) {
    const std::string path = driver_->Archive()->FileName();
    driver_->ResetJob();
    OpenSelectedArchive(path);
  }
  RefreshControls();
}

void TVarnelMainForm::MenuOptionsDefaultOutputFolderClick() {
  if (!driver_ || driver_->Running()) return;
  ApplyOutputFolder("");
  if (driver_->Archive()) {
    const std::string path = driver_->Archive()->FileName();
    driver_->ResetJob();
    OpenSelectedArchive(path);
  }
  RefreshControls();
}

void TVarnelMainForm::ShowOutputFolder() {
  std::string where;
  if (!driver_->OutputFolder().empty()) {
    where = driver_->OutputFolder();
  } else if (!options_->Options().OutputFolder.empty()) {
    where = options_->Options().OutputFolder;
  } else {
    where = std::string(kOutputFolderName) + " beside the archive";
  }
  const QString text = LabelOutputFolder->fontMetrics().elidedText(
      QString::fromStdString(where), Qt::ElideMiddle, 2 * LabelOutputFolder->width() - 20);
  LabelOutputFolder->setText("Output Folder: " + text);
  LabelOutputFolder->setToolTip(QString::fromStdString(where));
}

void TVarnelMainForm::ShowRunEnd(const std::string& outcome) {
  const std::vector<runwarningstruct>& warnings = driver_->Warnings();
  std::string text = outcome;
  if (!warnings.empty() && outcome == kOutcomeCompleteText) {
    text += ", " + std::to_string(warnings.size()) + (warnings.size() == 1 ? " Warning" : " Warnings");
  }
  PanelTaskComplete->setText(QString::fromStdString(text));
  PanelTaskComplete->show();
  if (warnings.empty()) return;
  std::string list = driver_->ArchiveDisplayName() + ": " + text;
  for (const runwarningstruct& warning : warnings) list += "\n" + std::string(kNotesWarningPrefix) + warning.text;
  ShowMessageBox("WARNING", list);
}
