#!/usr/bin/env bash
# What the self-check costs: on a generated archive (WPF 256, 16-bit words,
# 16 frames per block, 1000 Hz; 1 GiB by default, with a few lost frames)
# times `orlovarnel-convert` and `orlovarnel-convert --verify` alternately,
# --runs times (default 3), and prints the medians, the time --verify adds
# and the peak resident memory of both. The files are deleted at the end
# unless --keep is given.
#
# Usage: bench/verify_bench.sh [--size BYTES] [--runs N] [--keep] [--work DIR]
#   BUILD_DIR (default build/bench) is where the Release build goes.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_bytes=$((1024 * 1024 * 1024))
keep=0
runs=3
work="$root/build/bench-data"
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size_bytes="$2"; shift ;;
    --keep) keep=1 ;;
    --runs) runs="$2"; shift ;;
    --work) work="$2"; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "verify_bench: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

build="${BUILD_DIR:-$root/build/bench}"
. "$root/bench/bench_common.sh"
bench_build "$build"

# The archive and the Chapter 10 file (no pack file: it is not kept),
# with room to spare: about 3 x size.
bench_need_space verify_bench "$work" "$size_bytes"

archive="$work/VERIFY.Ark"
echo "Generating a $size_bytes-byte archive in $work ..."
"$build/orlovarnel-mkarchive" --out "$archive" --wpf 256 --word-length 16 \
  --frames-per-block 16 --rate 1000 --size "$size_bytes" --gap 100000:5 --gap 900000:1 \
  --setup >/dev/null
cat "$archive" >/dev/null

cd "$work"
plain=(); checked=(); plain_kib=(); checked_kib=()
for round in $(seq 1 "$runs"); do
  for mode in plain checked; do
    rm -rf "$work/Ch10Conversion"
    sync
    options=(--quiet)
    [ "$mode" = checked ] && options+=(--verify)
    /usr/bin/time -f "%e %M" -o "$work/run.time" "$build/orlovarnel-convert" "${options[@]}" \
      "$archive" >"$work/run.out" 2>"$work/run.err" || {
      cat "$work/run.out" "$work/run.err" >&2
      exit 1
    }
    read -r t k <"$work/run.time"
    if [ "$mode" = plain ]; then plain+=("$t"); plain_kib+=("$k"); else checked+=("$t"); checked_kib+=("$k"); fi
  done
  echo "round $round: convert ${plain[-1]} s, convert --verify ${checked[-1]} s"
done
cat "$work/run.out"

p=$(median "${plain[@]}")
c=$(median "${checked[@]}")
echo
printf '%-28s %10s %14s\n' "" "median wall (s)" "peak RSS (MiB)"
printf '%-28s %10.2f %14.1f\n' "orlovarnel-convert" "$p" "$(awk -v k="$(largest "${plain_kib[@]}")" 'BEGIN { print k / 1024 }')"
printf '%-28s %10.2f %14.1f\n' "orlovarnel-convert --verify" "$c" "$(awk -v k="$(largest "${checked_kib[@]}")" 'BEGIN { print k / 1024 }')"
awk -v a="$c" -v b="$p" 'BEGIN { pct = 0; if (b > 0) pct = 100 * (a - b) / b; printf "--verify adds %.2f s (%.0f%%)\n", a - b, pct }'

if [ $keep -eq 0 ]; then rm -rf "$work/Ch10Conversion" "$archive" "$work"/*.B50 "$work"/run.*; fi
