#!/usr/bin/env bash
# What looking inside an archive costs: orlovarnel-info against `cat` of the
# same archive to /dev/null, both with the archive in the page cache, on a
# generated archive (WPF 256, 16-bit words, 16 frames per block, 1000 Hz,
# 1 GiB by default, with gaps and damaged stamps so that the frame-time rule
# has work to do). Alternating rounds (--runs, default 5); prints each
# round, the medians, the ratio the program is held to (info / cat, at most
# 1.2), the peak resident memory and the machine's load before and after
# (the machine may be shared: the load says how far to trust the figures).
# The archive is deleted at the end unless --keep is given.
#
# Usage: bench/info_bench.sh [--size BYTES] [--runs N] [--keep] [--work DIR]
#   BUILD_DIR (default build/bench) is where the Release build goes;
#   BENCH_PREBUILT=1 uses the programs already built there.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_bytes=$((1024 * 1024 * 1024))
runs=5
keep=0
work="$root/build/bench-data"
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size_bytes="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --keep) keep=1 ;;
    --work) work="$2"; shift ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "info_bench: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

build="${BUILD_DIR:-$root/build/bench}"
. "$root/bench/bench_common.sh"
bench_build "$build" orlovarnel-info
work=$(bench_abs_dir "$work")
bench_need_space info_bench "$work" "$size_bytes"

archive="$work/INFO.Ark"
echo "Generating a $size_bytes-byte archive in $work ..."
"$build/orlovarnel-mkarchive" --out "$archive" --wpf 256 --word-length 16 --sfid-word 3 \
  --frames-per-block 16 --rate 1000 --size "$size_bytes" \
  --gap 100000:5 --gap 500000:40 --gap 900000:1 --setup >/dev/null
cat "$archive" >/dev/null
echo "load before: $(bench_load)"

# Wall time in seconds from bash's microsecond clock (time's own figure
# has 10 ms steps, too coarse for a warm read of 1 GiB); time(1) wraps both
# commands alike and gives the peak resident memory.
seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'; }
cat_times=() info_times=() info_kib=()
for round in $(seq 1 "$runs"); do
  start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$work/cat.time" cat "$archive" >/dev/null
  ct=$(seconds_since "$start")
  start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$work/info.time" "$build/orlovarnel-info" "$archive" \
    >"$work/info.out" 2>&1 || { cat "$work/info.out" >&2; exit 1; }
  it=$(seconds_since "$start")
  read -r ik <"$work/info.time"
  cat_times+=("$ct") info_times+=("$it") info_kib+=("$ik")
  echo "round $round: cat $ct s, info $it s"
done
echo "load after: $(bench_load)"
grep -i -E "frames|gap" "$work/info.out" | head -n 4

cat_median=$(median "${cat_times[@]}")
info_median=$(median "${info_times[@]}")
echo
echo "median: cat $cat_median s, orlovarnel-info $info_median s;" \
  "peak RSS $(awk -v k="$(largest "${info_kib[@]}")" 'BEGIN { printf "%.1f", k / 1024 }') MiB"
awk -v a="$info_median" -v b="$cat_median" 'BEGIN {
  if (b > 0) printf "info / cat (warm): %.2f x (goal <= 1.2)\n", a / b }'

rm -f "$work"/cat.time "$work"/info.time "$work"/info.out
if [ $keep -eq 0 ]; then rm -f "$archive" "$work"/*.B50; fi
