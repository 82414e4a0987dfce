// A scripted session for the README's screenshots (tools/gui-screenshots.sh
// starts the program with --screenshot-script OUTDIR ARCHIVE): once the
// window has started it selects ARCHIVE, saves main-before.png, converts
// it, saves main-during.png at the first event pump of the run and
// main-after.png when it has ended, saves about.png of the about box, and
// closes the window. The virtual X server has no window manager: each
// picture gets a plain caption bar drawn by the script. Nothing else of the
// program depends on it.
#pragma once

#include <string>

class TVarnelMainForm;

void RunScreenshotScript(TVarnelMainForm& window, const std::string& out_dir,
                         const std::string& archive);
