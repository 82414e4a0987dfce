#include "gui/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>

namespace {

// The handler may only write to a pipe; the window hears of it through the
// event loop (also from inside a conversion's event pump).
int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (g_pipe[1] >= 0) (void)!write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

terminationsignalsclass::terminationsignalsclass(QWidget& window) : window_(window) {
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_pipe[0] = g_pipe[1] = -1;
    return;  // without the pipe the signals keep their default action
  }
  notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { SignalArrived(); });
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal_number : kSignals) sigaction(signal_number, &action, nullptr);
}

terminationsignalsclass::~terminationsignalsclass() {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kSignals) sigaction(signal_number, &action, nullptr);
  delete notifier_;
  for (int& fd : g_pipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void terminationsignalsclass::SignalArrived() {
  char bytes[64];
  while (read(g_pipe[0], bytes, sizeof bytes) > 0) {
  }
  window_.close();  // during a run: abort, then close once the run returns
}
