#!/usr/bin/env bash
# Runs one libFuzzer target for a number of seconds on its committed corpus:
#   scripts/fuzz.sh TARGET SECONDS
# TARGET is the name after "fuzz_" (archive_header, frame_blocks, setup_file,
# profile, text_parsers, ch10_reader) or "all" (each in turn). Builds the
# fuzz targets with clang in build/fuzz first. New inputs that add coverage
# go to build/fuzz/corpus/TARGET (the committed seeds stay as they are);
# a crash, leak, timeout or out-of-memory input is written to
# build/fuzz/findings/TARGET/ and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -ne 2 ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2

targets=($(ls fuzz/fuzz_*.cpp | sed 's|fuzz/fuzz_||; s|\.cpp$||'))
if [ "$target" = all ]; then
  for t in "${targets[@]}"; do "$0" "$t" "$seconds"; done
  exit 0
fi

# Longest input per target: archive headers and block runs of a few KiB,
# setup files up to the first word table entries.
case "$target" in
  archive_header) max_len=8192 ;;
  frame_blocks)   max_len=16384 ;;
  setup_file)     max_len=4096 ;;
  profile)        max_len=4096 ;;
  text_parsers)   max_len=256 ;;
  ch10_reader)    max_len=16384 ;;
  *)
    if [ ! -f "fuzz/fuzz_$target.cpp" ]; then
      echo "fuzz.sh: unknown target $target (one of: ${targets[*]} all)" >&2
      exit 2
    fi
    max_len=4096 ;;
esac

if [ "${ORLO_FUZZ_SKIP_BUILD:-0}" != 1 ]; then
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORLO_WERROR=ON -DORLO_BUILD_FUZZ=ON -DORLO_BUILD_TESTS=OFF >/dev/null
  cmake --build build/fuzz --target "fuzz_$target" >/dev/null
fi

work=build/fuzz/corpus/$target
findings=build/fuzz/findings/$target
mkdir -p "$work" "$findings" "fuzz/corpus/$target"
log=build/fuzz/fuzz_$target.log

# The targets' scratch files go to memory when it can hold them: the
# converter makes every output durable when it closes it, and a disk sync
# per input would cost most of the run.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

# Allocations are capped (one allocation, and the whole process), inputs are
# capped in length, and one input may run at most 10 s; the targets cap what
# they write themselves.
set +e
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "build/fuzz/fuzz_$target" "$work" "fuzz/corpus/$target" \
  -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
  -rss_limit_mb=2048 -malloc_limit_mb=256 \
  -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1
status=$?
set -e

runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, exit status $status"
if [ $status -ne 0 ]; then
  grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -20 >&2 || true
  echo "fuzz_$target: FINDING (see $log and $findings/)" >&2
  exit 1
fi
