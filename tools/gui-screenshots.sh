#!/usr/bin/env bash
# Screenshots of the desktop window for the README: the main window before,
# during and after a conversion of samples/DEMO01.Ark, the about box, an
# output folder of the operator's choosing and a run of a damaged copy that
# ends with a warning, written to docs/screenshots/*.png.
#
# The window runs on a virtual X server (xvfb-run) and drives itself through
# its test-only option --screenshot-script OUTDIR ARCHIVE (see
# src/gui/screenshot_script.h): it selects the archive, converts it, saves
# each picture with Qt's own grab of the window (so no screenshot program is
# needed) and closes. Installs its X server packages itself when missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh" xvfb xauth

build="$root/build/screenshot-app"
# A test build: the scripted session and the self-closing boxes are compiled
# only into those (the test programs themselves are not built here).
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLO_BUILD_TESTS=ON \
  -DORLO_WERROR=OFF >/dev/null
cmake --build "$build" --target OrloVarnel -j "${JOBS:-2}" >/dev/null

work="$root/build/screenshots"
out="$root/docs/screenshots"
rm -rf "$work"
mkdir -p "$work/runtime" "$out"
chmod 700 "$work/runtime"
cp "$root/samples/DEMO01.Ark" "$root/samples/DEMO01.B50" "$work/"
# A damaged copy, cut inside its last block: its run ends with a warning.
head -c -100 "$root/samples/DEMO01.Ark" >"$work/DEMO01CUT.Ark"
cp "$root/samples/DEMO01.B50" "$work/DEMO01CUT.B50"
mkdir -p "$work/Outputs"

# A private runtime folder: a window the user has open does not refuse this one.
cd "$work"
XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb ORLOVARNEL_BOX_AUTOCLOSE_MS=2000 \
  timeout 120 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$build/OrloVarnel" --screenshot-script "$out" "$work/DEMO01.Ark"

ls -l "$out"/*.png
