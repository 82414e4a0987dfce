// The window's realisation of the core's modal boxes: the error log's
// message boxes ("INFO", "WARNING", "ERROR") as message boxes without an
// owner, and the setup prompts as a modal text-input box captioned
// "Input Range " + minimum + " - " + maximum.
//
// For unattended runs (tests, screenshots) the environment variable
// ORLOVARNEL_BOX_AUTOCLOSE_MS makes every such box close itself after that
// many milliseconds (a message box as if OK was pressed, an input box with
// OK on the text shown) and echo its caption and text to standard error.
// Test builds only (ORLO_TEST_HOOKS): in what ships every box waits.
#pragma once

#include <string>

void InstallWindowBoxes();
// A modal message box with the caption's icon; also used for "RUN FAIL".
void ShowWindowMessageBox(const std::string& caption, const std::string& text);
