#include "support/guarded_copy.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <pthread.h>

namespace {

// The guarded copy the calling thread is making. Initial-exec storage: the
// signal handler reaches it without a call into the dynamic loader, which
// is not safe inside a handler. Plain data, zero at thread start.
struct CopyGuardState {
  sigjmp_buf landing;
  const char* begin;
  const char* end;
  volatile sig_atomic_t active;
};

thread_local CopyGuardState t_copy_guard __attribute__((tls_model("initial-exec")));

// SIGBUS's disposition before the guard was installed.
struct sigaction g_previous_sigbus;

void OnSigbus(int signal_number, siginfo_t* info, void* /*context*/) {
  CopyGuardState& guard = t_copy_guard;
  const char* address = static_cast<const char*>(info->si_addr);
  // si_code > 0: raised by the kernel for a memory access, not sent.
  if (guard.active && info->si_code > 0 && address >= guard.begin && address < guard.end) {
    guard.active = 0;
    siglongjmp(guard.landing, 1);
  }
  // Not a vanished page of a guarded copy: the previous disposition takes
  // over. A fault strikes again when the faulting access is retried on
  // return; a sent signal is sent again.
  sigaction(SIGBUS, &g_previous_sigbus, nullptr);
  if (info->si_code <= 0) raise(signal_number);
}

}  // namespace

bool InstallCopyGuard() {
  static const bool installed = [] {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = OnSigbus;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, &g_previous_sigbus) == 0;
  }();
  return installed;
}

bool GuardedCopy(void* to, const void* from, size_t n) {
  CopyGuardState& guard = t_copy_guard;
  guard.begin = static_cast<const char*>(from);
  guard.end = guard.begin + n;
  // The signal mask is not saved here (that would cost a system call per
  // copy); the landing path unblocks SIGBUS itself instead.
  if (sigsetjmp(guard.landing, 0) != 0) {
    // The handler jumped here instead of returning, so SIGBUS, blocked
    // while the handler ran, is still blocked.
    sigset_t sigbus;
    sigemptyset(&sigbus);
    sigaddset(&sigbus, SIGBUS);
    pthread_sigmask(SIG_UNBLOCK, &sigbus, nullptr);
    return false;
  }
  guard.active = 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(to, from, n);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  guard.active = 0;
  return true;
}
