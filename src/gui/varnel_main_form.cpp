#include "gui/varnel_main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <thread>

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
  PanelTaskComplete->setGeometry(26, 60, 185, 23);
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
  hooks.RunEnded = [this](const std::string& outcome) {
    PanelTaskComplete->setText(QString::fromStdString(outcome));
    PanelTaskComplete->show();
  };
  driver_->SetWindowHooks(std::move(hooks));

  move(options_->Options.MainScreenPos.left, options_->Options.MainScreenPos.top);
  refreshing_ = false;
  HideJobAreas();
  driver_->ResetJob();
  RefreshControls();
  setWindowTitle(QString("%1  Ver %2").arg(kProgramName, kOrloVersionText));
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
  PanelConvert->setVisible(driver_->Ready());
  PanelFileName->setEnabled(!driver_->Running());
  SpeedButtonConvert->setChecked(driver_->Running());
  PanelArkFileName->setText(QString::fromStdString(driver_->ArchiveDisplayName()));
  CheckBoxRetainPackedBitsFile->setChecked(driver_->RetainPackFile());
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

std::unique_ptr<progressviewclass> TVarnelMainForm::CreateArchiveView(const orloarkclass& archive) {
  auto view = std::make_unique<TOrloArkDisplayForm>(PanelArkInfo, archive);
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
      driver_->OpenArchive(chosen);
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
  log_viewer_.Launch(ErrorLogPath());
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
    screenposstruct& pos = options_->Options.MainScreenPos;
    pos.left = x();
    pos.top = y();
    pos.right = width();
    pos.bottom = height();
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
