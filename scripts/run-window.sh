#!/usr/bin/env bash
# Starts the desktop window, building it first when needed (installs what is
# missing, builds OrloVarnel in build/app). The current folder is the
# window's start folder: its log (OrloVarnel.Log), its options file
# (OrloVarnel.Opt) and the log viewer "Trawler", when there is one, are
# found there.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"

build="$root/build/app"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLO_BUILD_TESTS=OFF \
  -DORLO_WERROR=OFF >/dev/null
cmake --build "$build" --target OrloVarnel -j "${JOBS:-2}" >/dev/null

exec "$build/OrloVarnel" "$@"
