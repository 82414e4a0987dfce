#!/usr/bin/env bash
# Builds the command-line converter (Release) and converts the demo archive
# in samples/. The conversion runs on a copy under build/demo so that the
# source tree stays clean; the outputs land in build/demo/Ch10Conversion.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

./scripts/setup.sh

build="$root/build/app"
# Warnings stay warnings here: a user's build must not stop on a compiler's
# new diagnostics (the test command builds with warnings as errors).
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLO_BUILD_TESTS=OFF \
  -DORLO_WERROR=OFF >/dev/null
cmake --build "$build" --target orlovarnel-convert -j "${JOBS:-2}"

demo="$root/build/demo"
mkdir -p "$demo"
cp samples/DEMO01.Ark samples/DEMO01.B50 "$demo/"

# The current folder is the converter's start folder: its log
# (OrloVarnel.Log) and options file (OrloVarnel.Opt) go there.
cd "$demo"
"$build/orlovarnel-convert" DEMO01.Ark

echo
echo "Outputs:"
echo "  Chapter 10 file:  $demo/Ch10Conversion/DEMO01.ch10"
echo "  Conversion notes: $demo/Ch10Conversion/DEMO01.CvtNotes"
echo "  Log file:         $demo/OrloVarnel.Log"
echo
echo "First lines of the conversion notes:"
head -n 20 "$demo/Ch10Conversion/DEMO01.CvtNotes" | tr -d '\r' | sed 's/^/  /'
