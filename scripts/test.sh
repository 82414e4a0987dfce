#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: a warnings-as-errors
# build, then the same tests under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLO_WERROR=ON \
  -DORLO_SANITIZE=OFF -DORLO_BUILD_TESTS=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure --no-tests=error -j "$jobs"

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORLO_WERROR=ON \
  -DORLO_SANITIZE=ON -DORLO_BUILD_TESTS=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure --no-tests=error -j "$jobs"
