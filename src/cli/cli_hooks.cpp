#include "cli/cli_hooks.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/setup_prompts.h"
#include "support/beeper.h"
#include "support/error_log.h"
#include "support/text_format.h"

namespace {

// The first stop signal received (0: none). Lock-free, so the handler may
// use it.
std::atomic<int> g_interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Which of them have the handler (a signal ignored when the program started,
// as under nohup, stays ignored).
bool g_handled[3] = {false, false, false};

void OnInterrupt(int signal_number) {
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  // A second stop signal ends the process the default way. It can reach
  // the handler before the first has reset the dispositions (on another
  // thread), hence the exchange. sigaction and raise are safe here.
  if (g_interrupted.exchange(signal_number) != 0) {
    sigaction(signal_number, &fallback, nullptr);
    raise(signal_number);
    return;
  }
  for (int i = 0; i < 3; ++i) {
    if (g_handled[i]) sigaction(kStopSignals[i], &fallback, nullptr);
  }
}

bool Answer(const textinputrequest& request, std::string& text, std::optional<int32_t> value,
            const char* option, bool quiet) {
  if (!value) {
    if (!quiet) {
      std::fprintf(stderr, "orlovarnel-convert: no usable setup file: %s: %s (default; see %s)\n",
                   request.label.c_str(), text.c_str(), option);
    }
    return false;  // Cancel: the prompt keeps its default
  }
  const int32_t used = ClampToPromptRange(*value, request.minimum, request.maximum);
  if (used != *value) {
    // The bounds may come in either order.
    const int32_t low = std::min(request.minimum, request.maximum);
    const int32_t high = std::max(request.minimum, request.maximum);
    std::fprintf(stderr, "orlovarnel-convert: warning: %s %d is outside the range %d to %d; %d is used\n",
                 option, static_cast<int>(*value), static_cast<int>(low), static_cast<int>(high),
                 static_cast<int>(used));
  }
  text = std::to_string(*value);
  return true;
}

}  // namespace

void InstallPromptAnswers(std::optional<int32_t> word_length, std::optional<int32_t> sfid_msb,
                          bool quiet) {
  SetTextInputHook([=](const textinputrequest& request, std::string& text) {
    switch (request.value) {
      case PromptedValue::CommonWordLength:
        return Answer(request, text, word_length, "--word-length", quiet);
      case PromptedValue::SfidMsb:
        return Answer(request, text, sfid_msb, "--sfid-msb", quiet);
      case PromptedValue::Other:
        break;
    }
    return false;
  });
}

void InstallMessageBoxPrinter() {
  SetMessageBoxHook([](const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), EscapeControlCharacters(text).c_str());
    std::fflush(stderr);
  });
}

void InstallSilentBeeps() {
  SetBeepSink([](BeepKind) {});
}

void InstallInterruptHandler() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The other stop signals wait while the handler runs, so that two at once
  // still count as a first and a second.
  for (int s : kStopSignals) sigaddset(&action.sa_mask, s);
  for (int i = 0; i < 3; ++i) {
    struct sigaction before = {};
    if (sigaction(kStopSignals[i], nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    g_handled[i] = true;
    sigaction(kStopSignals[i], &action, nullptr);
  }
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

bool InterruptRequested() { return g_interrupted != 0; }

const char* InterruptSignalName() {
  switch (g_interrupted.load()) {
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "Ctrl-C";
  }
}
