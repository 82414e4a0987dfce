#!/usr/bin/env bash
# Whole-process benchmark of orlovarnel-convert against cp.
#
# Generates an archive (WPF 256, 16-bit words, 16 frames per block,
# 1000 Hz; 1 GiB, or 4 GiB with --4g), reads it once so that it sits in the
# page cache, then in the same run times `cp` of the file and
# `orlovarnel-convert` on it, alternately, --runs times (default 3), and
# compares the medians. The machine's load average is printed around every
# round, since other work on the machine skews the times.
# Each round also times `cp` followed by `sync` of the copy: the same
# durability as a conversion, which has every output on the disk before it
# reports "Conversion Complete". That is the comparison the goal is set on;
# the ratio to a plain cp (whose copy may still be in the page cache only)
# is shown beside it.
# Goals: conversion wall time <= 1.2 x the time of cp + sync; peak resident
# memory of the converter < 64 MiB.
# Note: cp copies in the kernel (copy_file_range), while a conversion reads
# the archive and writes the Chapter 10 file through its own buffers in one
# pass (the pack file is not written unless it is kept), with the archive
# read ahead on a second thread: an idle second core is part of the result.
#
# Usage: bench/convert_bench.sh [--4g] [--runs N] [--keep] [--work DIR]
#   BUILD_DIR (default build/bench) is where the Release build goes;
#   BENCH_PREBUILT=1 takes the programs already there (an older build, to
#   compare) without building.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_bytes=$((1024 * 1024 * 1024))
size_text="1 GiB"
keep=0
runs=3
work="$root/build/bench-data"
while [ $# -gt 0 ]; do
  case "$1" in
    --4g) size_bytes=$((4 * 1024 * 1024 * 1024)); size_text="4 GiB" ;;
    --keep) keep=1 ;;
    --runs) runs="$2"; shift ;;
    --work) work="$2"; shift ;;
    -h|--help) sed -n '2,25p' "$0"; exit 0 ;;
    *) echo "convert_bench: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

build="${BUILD_DIR:-$root/build/bench}"
. "$root/bench/bench_common.sh"
[ "${BENCH_PREBUILT:-0}" = 1 ] || bench_build "$build"

# The archive, its copy and the Chapter 10 file: about 3 x size.
bench_need_space convert_bench "$work" "$size_bytes"

archive="$work/BENCH.Ark"
rm -rf "$work/Ch10Conversion" "$work/copy.Ark"
echo "Generating a $size_text archive in $work ..."
"$build/orlovarnel-mkarchive" --out "$archive" --wpf 256 --word-length 16 \
  --frames-per-block 16 --rate 1000 --size "$size_bytes" --setup >/dev/null

# Into the page cache, twice for good measure.
cat "$archive" >/dev/null
cat "$archive" >/dev/null

# Each round times cp and the conversion once, alternately, with the dirty
# pages of the round before written out first (the machine's write-back
# otherwise lands on whichever command runs next). The medians are compared.
cd "$work"
cp_times=()
cs_times=()
cv_times=()
cv_peaks=()
cp_peaks=()
load() { cut -d' ' -f1-3 /proc/loadavg; }
for round in $(seq 1 "$runs"); do
  rm -rf "$work/Ch10Conversion" "$work/copy.Ark"
  sync
  # The disk may be shared: stop rather than fill it.
  free_kib=$(bench_free_kib "$work")
  if [ "$free_kib" -lt $((size_bytes / 1024 * 2 + 1024 * 1024)) ]; then
    echo "convert_bench: too little free space left for round $round" >&2
    rm -f "$archive"
    exit 1
  fi
  load_before=$(load)
  /usr/bin/time -f "%e %M %U %S" -o "$work/cp.time" cp "$archive" "$work/copy.Ark"
  rm -f "$work/copy.Ark"
  sync
  /usr/bin/time -f "%e" -o "$work/cpsync.time" sh -c 'cp "$1" "$2" && sync "$2"' cpsync \
    "$archive" "$work/copy.Ark"
  rm -f "$work/copy.Ark"
  sync
  /usr/bin/time -f "%e %M %U %S" -o "$work/convert.time" "$build/orlovarnel-convert" --quiet "$archive" \
    >"$work/convert.out" 2>"$work/convert.err" || {
    cat "$work/convert.out" "$work/convert.err" >&2
    exit 1
  }
  read -r t k u s <"$work/cp.time"; cp_times+=("$t"); cp_peaks+=("$k"); cp_cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
  read -r t k u s <"$work/convert.time"; cv_times+=("$t"); cv_peaks+=("$k"); cv_cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
  read -r t <"$work/cpsync.time"; cs_times+=("$t")
  echo "round $round: cp ${cp_times[-1]} s (cpu $cp_cpu s), cp + sync ${cs_times[-1]} s, conversion ${cv_times[-1]} s (cpu $cv_cpu s) (load before $load_before, after $(load))"
done

cp_s=$(median "${cp_times[@]}")
cs_s=$(median "${cs_times[@]}")
cv_s=$(median "${cv_times[@]}")
cv_kib=$(largest "${cv_peaks[@]}")
cp_kib=$(largest "${cp_peaks[@]}")
ratio=$(awk -v a="$cv_s" -v b="$cp_s" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "inf" }')
durable_ratio=$(awk -v a="$cv_s" -v b="$cs_s" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "inf" }')

echo
cat "$work/convert.out"
echo
printf '%-22s %10s %14s\n' "" "median wall (s)" "peak RSS (MiB)"
printf '%-22s %10.2f %14.1f\n' "cp" "$cp_s" "$(awk -v k="$cp_kib" 'BEGIN { print k / 1024 }')"
printf '%-22s %10.2f\n' "cp + sync" "$cs_s"
printf '%-22s %10.2f %14.1f\n' "orlovarnel-convert" "$cv_s" "$(awk -v k="$cv_kib" 'BEGIN { print k / 1024 }')"
echo "ratio convert / cp: $ratio (a plain cp is not durable)"
echo "ratio convert / (cp + sync): $durable_ratio (goal <= 1.2)"

status=0
if awk -v r="$durable_ratio" 'BEGIN { exit !(r == "inf" || r > 1.2) }'; then
  echo "GOAL MISSED: conversion takes more than 1.2 x the time of cp + sync"; status=1
fi
if [ "$cv_kib" -ge $((64 * 1024)) ]; then
  echo "GOAL MISSED: peak resident memory is 64 MiB or more"; status=1
fi
[ $status -eq 0 ] && echo "All goals met."

if [ $keep -eq 0 ]; then rm -rf "$work/Ch10Conversion" "$archive" "$work"/*.B50; fi
exit $status
