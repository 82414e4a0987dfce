#include "cli/cli_hooks.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/setup_prompts.h"
#include "support/beeper.h"
#include "support/error_log.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

// The prompt's caption is "Input Range " + minimum + " - " + maximum.
bool ParseRangeCaption(const std::string& caption, long& low, long& high) {
  const std::string lead = "Input Range ";
  if (caption.compare(0, lead.size(), lead) != 0) return false;
  std::string rest = caption.substr(lead.size());
  size_t dash = rest.find(" - ");
  if (dash == std::string::npos) return false;
  char* end = nullptr;
  std::string a = rest.substr(0, dash), b = rest.substr(dash + 3);
  low = std::strtol(a.c_str(), &end, 10);
  if (end == a.c_str() || *end != '\0') return false;
  high = std::strtol(b.c_str(), &end, 10);
  if (end == b.c_str() || *end != '\0') return false;
  if (low > high) std::swap(low, high);  // the bounds may come in either order
  return true;
}

bool Answer(const std::string& caption, const std::string& label, std::string& text,
            std::optional<int32_t> value, const char* option, bool quiet) {
  if (!value) {
    if (!quiet) {
      std::fprintf(stderr, "orlovarnel-convert: no usable setup file: %s: %s (default; see %s)\n",
                   label.c_str(), text.c_str(), option);
    }
    return false;  // Cancel: the prompt keeps its default
  }
  long low = 0, high = 0;
  if (ParseRangeCaption(caption, low, high) && (*value < low || *value > high)) {
    long used = *value < low ? low : high;
    std::fprintf(stderr, "orlovarnel-convert: warning: %s %d is outside the range %ld to %ld; %ld is used\n",
                 option, static_cast<int>(*value), low, high, used);
  }
  text = std::to_string(*value);
  return true;
}

}  // namespace

void InstallPromptAnswers(std::optional<int32_t> word_length, std::optional<int32_t> sfid_msb,
                          bool quiet) {
  SetTextInputHook([=](const std::string& caption, const std::string& label, std::string& text) {
    if (label.find("Word Length") != std::string::npos)
      return Answer(caption, label, text, word_length, "--word-length", quiet);
    if (label.find("SFID") != std::string::npos)
      return Answer(caption, label, text, sfid_msb, "--sfid-msb", quiet);
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
