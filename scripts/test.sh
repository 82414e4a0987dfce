#!/usr/bin/env bash
# The whole test command:
#   1. the include check: no file includes a header of a module its target
#      does not declare (scripts/check_includes.py);
#   2. a warnings-as-errors build and the whole test suite;
#   3. the same tests under AddressSanitizer + UndefinedBehaviorSanitizer;
#   4. the suites whose code runs threads under ThreadSanitizer (the
#      buffered file reader and its read-ahead thread, the self-check's
#      stream thread, the error log);
#   5. every fuzz target for ORLO_FUZZ_SECONDS (default 10) seconds, failing
#      on any finding.
# Each part's time is printed at the end. About 10 minutes from a fresh
# clone on a quiet 2-core machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
times=()
last=$(date +%s)
part_done() {
  local now
  now=$(date +%s)
  times+=("$1 $((now - last)) s")
  last=$now
}

# Configure quietly: warnings and errors show, the status lines do not.
configure() {
  local out
  if ! out=$(cmake --log-level=NOTICE -S . -G Ninja -DORLO_WERROR=ON "$@" 2>&1); then
    printf '%s\n' "$out" >&2
    return 1
  fi
  printf '%s\n' "$out" | grep -v -E '^-- (Configuring|Generating) done$' || true
}

scripts/check_includes.py
part_done "include check"

configure -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLO_SANITIZE=OFF -DORLO_BUILD_TESTS=ON
cmake --build build/release -j "$jobs"
part_done "release build"
ctest --test-dir build/release --output-on-failure --no-tests=error -j "$jobs"
part_done "release tests"

# The sanitizer builds compile each suite as one file (ORLO_UNITY_TESTS), a
# third less time; the build above compiles every test file on its own.
configure -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DORLO_SANITIZE=ON -DORLO_BUILD_TESTS=ON \
  -DORLO_UNITY_TESTS=ON
cmake --build build/sanitize -j "$jobs"
part_done "ASan build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure --no-tests=error -j "$jobs"
part_done "ASan tests"

# ThreadSanitizer: only the suites whose code starts threads are built.
tsan_suites=(test_support test_archive test_verify)
configure -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLO_SANITIZE=thread -DORLO_BUILD_TESTS=ON \
  -DORLO_BUILD_GUI=OFF -DORLO_UNITY_TESTS=ON
cmake --build build/tsan -j "$jobs" --target "${tsan_suites[@]}"
part_done "TSan build"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build/tsan --output-on-failure --no-tests=error -j "$jobs" \
  -L "^($(IFS='|'; echo "${tsan_suites[*]}"))\$"
part_done "TSan tests"

# Fuzz step: the libFuzzer targets (clang, ASan + UBSan), each on its committed
# corpus, as many at a time as there are cores.
configure -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORLO_BUILD_FUZZ=ON -DORLO_BUILD_TESTS=OFF -DORLO_BUILD_GUI=OFF
cmake --build build/fuzz -j "$jobs" --target orlo_fuzz_targets
part_done "fuzz build"
fuzz_seconds=${ORLO_FUZZ_SECONDS:-10}
targets=$(ls fuzz/fuzz_*.cpp | sed 's|fuzz/fuzz_||; s|\.cpp$||')
printf '%s\n' $targets | ORLO_FUZZ_SKIP_BUILD=1 xargs -P "$jobs" -I{} scripts/fuzz.sh {} "$fuzz_seconds"
part_done "fuzz runs"

echo "test.sh: passed; $(IFS=,; echo "${times[*]}" | sed 's/,/, /g')"
