// TVarnelMainForm: the program's only top-level window. Owns the start-up
// and shutdown of the whole program, turns clicks into operations of the
// conversion driver and mirrors the driver's state in its controls. Hosts
// the two progress views in PanelArkInfo and PanelCh10Info.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "gui/log_viewer_launcher.h"
#include "shell/progress_view.h"
#include "support/single_instance_lock.h"

#include "orlo_version.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class conversiondriverclass;
class progoptionsclass;
class tenhzthread;
class TOrloArkDisplayForm;
class TCh10ProcDisplayForm;

inline constexpr const char* kSecondInstanceText = "ALREADY HAVE THE PROGRAM RUNNING.  KILL IT FIRST!";
inline constexpr const char* kSecondInstanceCaption = "RUN FAIL";

class TVarnelMainForm : public QMainWindow, private progressviewfactoryclass {
 public:
  explicit TVarnelMainForm(QWidget* parent = nullptr);
  ~TVarnelMainForm() override;

  // False when another copy holds the single-instance lock: the caller then
  // shows the refusal and ends the process without starting the log.
  bool HoldsInstanceLock() const { return instance_lock_.Held(); }

  // Handlers, named after component and event.
  void PanelArkFileNameClick();
  void SpeedButtonConvertClick();
  void ButtonCancelClick();
  void CheckBoxRetainPackedBitsFileClick();
  void MenuViewErrorLogClick();
  // Options, Output Folder...: the outputs go to a folder of the
  // operator's choosing; Options, Default Output Folder: back to
  // Ch10Conversion beside the archive. Saved in the options file.
  void MenuOptionsOutputFolderClick();
  void MenuOptionsDefaultOutputFolderClick();
  void About1Click();
  void RefreshControls();
  // The refresh tick of the progress views (user-interface thread).
  void RefreshTick();

  // Called at every event pump of a run, after the pending events were
  // served (screenshots and tests act at a known point of a run).
  void SetPumpObserver(std::function<void()> observer) { pump_observer_ = std::move(observer); }
  // Called once the deferred start has run.
  void SetStartedObserver(std::function<void()> observer) {
    started_observer_ = std::move(observer);
  }

  bool Initialised() const { return initialised_; }
  conversiondriverclass* Driver() { return driver_.get(); }
  tenhzthread* RefreshThread() { return refresh_thread_.get(); }
  const logviewerlauncherclass& LogViewer() const { return log_viewer_; }

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void DeferredStart();
  // True when the window may close now; during a run it requests an abort
  // and the window closes once the run has returned.
  bool FormCloseQuery();
  void ProgramShutdown();
  void PumpEvents();
  void BuildControls();
  void HideJobAreas();
  void SetConvertColour(bool running);
  static void TerminationHandler();
  // Opens the archive with every box of the open gathered into one: the
  // specific reason of a refusal, or why the outputs cannot be written
  // with the offer of another folder (then the archive is opened again).
  void OpenSelectedArchive(const std::string& path);
  // Asks for a folder; true when one was chosen (and taken).
  bool ChooseOutputFolder();
  void ApplyOutputFolder(const std::string& folder);
  void ShowOutputFolder();
  // The end of a run: the outcome with its warning count, and one box
  // listing the warnings.
  void ShowRunEnd(const std::string& outcome);
  // The saved position, moved onto the available screen where the window
  // would stick out of it.
  void PlaceWindow(int left, int top);

  std::unique_ptr<progressviewclass> CreateArchiveView(const orloarkclass& archive,
                                                       const orloarkpackclass& pack) override;
  std::unique_ptr<progressviewclass> CreateCh10View(const ch10convertprocessclass& converter,
                                                    const orloarkclass& archive) override;

  singleinstancelockclass instance_lock_;
  std::unique_ptr<progoptionsclass> options_;
  std::unique_ptr<conversiondriverclass> driver_;
  std::unique_ptr<tenhzthread> refresh_thread_;
  logviewerlauncherclass log_viewer_;
  QPointer<TOrloArkDisplayForm> archive_view_;
  QPointer<TCh10ProcDisplayForm> ch10_view_;
  std::function<void()> pump_observer_;
  std::function<void()> started_observer_;

  QPoint placed_at_;
  bool first_show_done_ = false;
  bool initialised_ = false;
  bool refreshing_ = false;
  bool close_after_run_ = false;
  bool shut_down_ = false;

  QFrame* PanelFileName;
  QLabel* PanelArkFileName;   // a panel showing one centred text
  QLabel* PanelTaskComplete;
  QFrame* PanelConvert;
  QCheckBox* CheckBoxRetainPackedBitsFile;
  QPushButton* SpeedButtonConvert;
  QPushButton* ButtonCancel;
  QFrame* PanelArkInfo;
  QFrame* PanelCh10Info;
  QLabel* LabelOutputFolder;
};
