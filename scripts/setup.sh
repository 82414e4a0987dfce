#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# and only those that are missing. Safe to run again and again. Further
# package names given as arguments are installed too (the screenshot tool
# asks for its X server that way).
#
#   scripts/setup.sh              what building and testing need
#   scripts/setup.sh --packaging  also the optional package checkers
set -euo pipefail

# Optional: only scripts/package.sh asks for these; the package test runs
# lintian (and checks the desktop entry) when they are there, and says so
# when lintian is not.
optional=(lintian desktop-file-utils)
extra=()
if [ "${1:-}" = "--packaging" ]; then
  shift
  extra+=("${optional[@]}")
fi

# qt6-base-dev: the desktop window and its Qt Test suites; fonts-liberation2:
# the window's font (the metrics its label places were laid out for).
# dpkg-dev: the package's library dependencies (dpkg-shlibdeps).
# clang and its runtime libraries build the libFuzzer targets (fuzz/).
# locales: the comma-decimal locale the number-text tests run under.
# python3: the tests read the JSON results and the SVG with its parsers.
# slurm-wlm, munge: the one-node cluster the campaign scripts' test starts
# (daemons, key and configuration of its own; it uses no system service).
packages=(cmake g++ ninja-build libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev fonts-liberation2 dpkg-dev clang libclang-rt-14-dev locales python3
          slurm-wlm munge
          "${extra[@]}" "$@")

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
  # The munge and Slurm packages start their system services when they are
  # installed, and fail the install where those cannot start. The tests run
  # daemons of their own, so no service is wanted: where the machine has no
  # policy of its own, one that refuses every start is in place for the
  # install only.
  policy=/usr/sbin/policy-rc.d
  placed_policy=no
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    placed_policy=yes
  fi
  status=0
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
  if [ "$placed_policy" = yes ]; then "${sudo_cmd[@]}" rm -f "$policy"; fi
  if [ "$status" -ne 0 ]; then exit "$status"; fi
fi

# The tests' comma-decimal locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "setup: generating the de_DE.UTF-8 locale"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  if [ -f /etc/locale.gen ] && grep -q '^# *de_DE.UTF-8 UTF-8' /etc/locale.gen; then
    "${sudo_cmd[@]}" sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  fi
  "${sudo_cmd[@]}" locale-gen de_DE.UTF-8 >/dev/null
fi
