// A desktop session ends its programs with SIGTERM (SIGHUP when the
// terminal goes, SIGINT for Ctrl-C): each of them closes the main window
// the way its close box does, so the options are saved and the log gets its
// end banner; a conversion in progress is aborted first.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

class terminationsignalsclass : public QObject {
 public:
  // Closes `window` on SIGTERM, SIGHUP or SIGINT from now on.
  explicit terminationsignalsclass(QWidget& window);
  ~terminationsignalsclass() override;

 private:
  void SignalArrived();

  QWidget& window_;
  QSocketNotifier* notifier_ = nullptr;
};
