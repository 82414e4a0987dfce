// A scripted session for the README's screenshots (tools/gui-screenshots.sh
// starts the program with --screenshot-script OUTDIR ARCHIVE): once the
// window has started it selects ARCHIVE, saves main-before.png, converts
// it, saves main-during.png at the first event pump of the run and
// main-after.png when it has ended, saves about.png of the about box,
// chooses the folder Outputs beside ARCHIVE for the outputs, selects the
// damaged copy DEMO01CUT.Ark (main-output-folder.png), converts it
// (main-warnings.png) and closes the window. The virtual X server has no window manager: each
// picture gets a plain caption bar drawn by the script. Nothing else of the
// program depends on it. Test builds only (ORLO_TEST_HOOKS).
#pragma once

#include <string>

class TVarnelMainForm;

#ifdef ORLO_TEST_HOOKS
void RunScreenshotScript(TVarnelMainForm& window, const std::string& out_dir,
                         const std::string& archive);
#endif

// The window's benchmark (bench/window_bench.sh starts the program with
// --timed-conversion ARCHIVE): once the window has started it selects
// ARCHIVE, clicks "Convert The File", prints the seconds from the click to
// the end of the run ("window: S.SSS s OUTCOME") and closes the window.
void RunTimedConversion(TVarnelMainForm& window, const std::string& archive);
