// What the command line puts in place of the window: answers to the setup
// prompts, message boxes on standard error, silent tones, Ctrl-C, SIGTERM
// and SIGHUP as a request to abort, and a closed standard output as the end
// of the batch.
#pragma once

#include <csignal>
#include <cstdint>
#include <optional>

// Answers the common word length and SFID MSB prompts with the given values
// (no value: Cancel, the prompt keeps its default). An answer outside the
// prompt's range is pulled into it by the prompt; a warning says so.
void InstallPromptAnswers(std::optional<int32_t> word_length, std::optional<int32_t> sfid_msb,
                          bool quiet);
// "CAPTION: text" on standard error, control characters in the text
// escaped so that each box is one line.
void InstallMessageBoxPrinter();
// Batch use must never wait for tones.
void InstallSilentBeeps();

// SIGINT (Ctrl-C), SIGTERM and SIGHUP: the first of them sets the flag (the
// event pump turns it into an abort, so the run ends with its notes and the
// log's end banner); a second one of any of them ends the process the
// default way. SIGPIPE is ignored: a write to a closed pipe fails with
// EPIPE instead of ending the process.
void InstallInterruptHandler();
bool InterruptRequested();
// "Ctrl-C", "SIGTERM" or "SIGHUP": the signal that set the flag, for
// messages.
const char* InterruptSignalName();
