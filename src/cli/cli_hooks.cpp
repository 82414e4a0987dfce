#include "cli/cli_hooks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/setup_prompts.h"
#include "support/beeper.h"
#include "support/error_log.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

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
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
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
  action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the process
  sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return g_interrupted != 0; }
