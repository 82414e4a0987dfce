#!/usr/bin/env bash
# The window against the command line on one 1 GiB archive (WPF 256, 16-bit
# words, 16 frames per block, 1000 Hz), files in the page cache, run
# alternately --runs times (default 3) on the offscreen platform.
#
# The window is timed from the click on "Convert The File" to the end of the
# run (the program's --timed-conversion mode prints it); the command line as
# the whole `orlovarnel-convert --quiet` process. The load average is printed
# around every round: the machine is shared, and other work skews the times.
# Goal: window median <= 1.1 x the command line's median.
#
# Usage: bench/window_bench.sh [--runs N] [--keep] [--work DIR]
#   BUILD_DIR (default build/bench) is where the Release build goes;
#   BENCH_PREBUILT=1 takes the programs already there.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_bytes=$((1024 * 1024 * 1024))
keep=0
runs=3
work="$root/build/bench-window"
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=1 ;;
    --runs) runs="$2"; shift ;;
    --work) work="$2"; shift ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) echo "window_bench: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

build="${BUILD_DIR:-$root/build/bench}"
. "$root/bench/bench_common.sh"
bench_build "$build" OrloVarnel
bench_need_space window_bench "$work" "$size_bytes"

archive="$work/BENCH.Ark"
mkdir -p "$work/cli" "$work/gui" "$work/runtime"
chmod 700 "$work/runtime"
if [ ! -s "$archive" ]; then
  echo "Generating a 1 GiB archive in $work ..."
  "$build/orlovarnel-mkarchive" --out "$archive" --wpf 256 --word-length 16 \
    --frames-per-block 16 --rate 1000 --size "$size_bytes" --setup >/dev/null
fi
cat "$archive" >/dev/null
cat "$archive" >/dev/null

now() { date +%s.%N; }
cli_times=()
gui_times=()
for i in $(seq 1 "$runs"); do
  echo "round $i: load $(cut -d' ' -f1-3 /proc/loadavg)"
  rm -rf "$work/Ch10Conversion"
  t0=$(now)
  (cd "$work/cli" && "$build/orlovarnel-convert" --quiet "$archive" >/dev/null)
  t1=$(now)
  cli=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
  cli_times+=("$cli")
  rm -rf "$work/Ch10Conversion"
  line=$(cd "$work/gui" && XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
           "$build/OrloVarnel" --timed-conversion "$archive")
  case "$line" in
    "window: "*" s Conversion Complete"*) ;;
    *) echo "window_bench: the window did not complete: $line" >&2; exit 1 ;;
  esac
  gui=$(awk '{ print $2 }' <<<"$line")
  gui_times+=("$gui")
  echo "round $i: command line $cli s, window $gui s; load $(cut -d' ' -f1-3 /proc/loadavg)"
done

cli_median=$(median "${cli_times[@]}")
gui_median=$(median "${gui_times[@]}")
ratio=$(awk -v g="$gui_median" -v c="$cli_median" 'BEGIN { printf "%.2f", g / c }')
echo "median: command line $cli_median s, window $gui_median s, ratio $ratio (goal <= 1.10)"
[ "$keep" = 1 ] || rm -rf "$work"
