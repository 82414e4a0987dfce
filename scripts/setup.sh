#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# and only those that are missing. Safe to run again and again. Further
# package names given as arguments are installed too (the screenshot tool
# asks for its X server that way).
set -euo pipefail

# qt6-base-dev: the desktop window and its Qt Test suites; fonts-liberation2:
# the window's font (the metrics its label places were laid out for).
packages=(cmake g++ ninja-build libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev fonts-liberation2 "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
