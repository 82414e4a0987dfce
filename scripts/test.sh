#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: a warnings-as-errors
# build, then the same tests under AddressSanitizer + UndefinedBehaviorSanitizer;
# then runs every fuzz target for ORLO_FUZZ_SECONDS (default 30) seconds and
# fails on any finding. About 9 minutes on a quiet 2-core machine.
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

# Fuzz step: the libFuzzer targets (clang, ASan + UBSan), each on its committed
# corpus, as many at a time as there are cores.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORLO_WERROR=ON -DORLO_BUILD_FUZZ=ON -DORLO_BUILD_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$jobs" --target orlo_fuzz_targets
fuzz_seconds=${ORLO_FUZZ_SECONDS:-30}
targets=$(ls fuzz/fuzz_*.cpp | sed 's|fuzz/fuzz_||; s|\.cpp$||')
printf '%s\n' $targets | ORLO_FUZZ_SKIP_BUILD=1 xargs -P "$jobs" -I{} scripts/fuzz.sh {} "$fuzz_seconds"
