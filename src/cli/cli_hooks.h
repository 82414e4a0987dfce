// What the command line puts in place of the window: answers to the setup
// prompts, message boxes on standard error, silent tones, and Ctrl-C as a
// request to abort.
#pragma once

#include <csignal>
#include <cstdint>
#include <optional>

// Answers the common word length and SFID MSB prompts with the given values
// (no value: Cancel, the prompt keeps its default). An answer outside the
// prompt's range is pulled into it by the prompt; a warning says so.
void InstallPromptAnswers(std::optional<int32_t> word_length, std::optional<int32_t> sfid_msb,
                          bool quiet);
// "CAPTION: text" on standard error.
void InstallMessageBoxPrinter();
// Batch use must never wait for tones.
void InstallSilentBeeps();

// Ctrl-C: the first sets the flag (the event pump turns it into an abort);
// a second one ends the process the default way.
void InstallInterruptHandler();
bool InterruptRequested();
