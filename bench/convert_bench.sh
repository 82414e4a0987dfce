#!/usr/bin/env bash
# Whole-process benchmark of orlovarnel-convert against cp.
#
# Generates an archive (WPF 256, 16-bit words or 12-bit with --bits 12,
# 16 frames per block, 1000 Hz; 1 GiB, or 4 GiB with --4g) and times `cp`
# of the file, `cp` followed by `sync` of the copy, and `orlovarnel-convert`
# on it, alternately, --runs times (default 3) in each of two cases, and
# compares the medians:
#   warm: the archive sits in the page cache (read twice beforehand);
#   cold: the page cache is dropped (sync; echo 3 > /proc/sys/vm/drop_caches)
#         before every single command, so each reads the archive from the
#         disk. Only as root; elsewhere the cold case is skipped, and the
#         output says so. --no-cold skips it too. The cold rounds also
#         time a direct-I/O read of the archive (dd iflag=direct bs=16M),
#         what the disk itself delivers.
# The machine's load average is printed around every round, since other
# work on the machine skews the times.
# `cp` followed by `sync` has the same durability as a conversion, which
# has every output on the disk before it reports "Conversion Complete".
# That is the comparison the goals are set on; the ratio to a plain cp
# (whose copy may still be in the page cache only) is shown beside it.
# Goals: conversion wall time <= 1.2 x the time of cp + sync, warm and
# cold; peak resident memory of the converter < 32 MiB.
# Note: cp copies in the kernel (copy_file_range), while a conversion reads
# the archive and writes the Chapter 10 file through its own buffers in one
# pass (the pack file is not written unless it is kept), with the archive
# read ahead on a second thread: an idle second core is part of the result.
#
# Usage: bench/convert_bench.sh [--4g] [--bits 16|12] [--runs N] [--no-cold]
#                               [--keep] [--work DIR]
#   BUILD_DIR (default build/bench) is where the Release build goes;
#   BENCH_PREBUILT=1 takes the programs already there (an older build, to
#   compare) without building.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_bytes=$((1024 * 1024 * 1024))
size_text="1 GiB"
bits=16
keep=0
runs=3
cold=1
work="$root/build/bench-data"
while [ $# -gt 0 ]; do
  case "$1" in
    --4g) size_bytes=$((4 * 1024 * 1024 * 1024)); size_text="4 GiB" ;;
    --bits) bits="$2"; shift ;;
    --keep) keep=1 ;;
    --runs) runs="$2"; shift ;;
    --no-cold) cold=0 ;;
    --work) work="$2"; shift ;;
    -h|--help) sed -n '2,33p' "$0"; exit 0 ;;
    *) echo "convert_bench: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
case "$bits" in
  16|12) ;;
  *) echo "convert_bench: --bits is 16 or 12, not $bits" >&2; exit 2 ;;
esac

build="${BUILD_DIR:-$root/build/bench}"
. "$root/bench/bench_common.sh"
bench_build "$build"

# The archive, its copy and the Chapter 10 file: about 3 x size.
work=$(bench_abs_dir "$work")
bench_need_space convert_bench "$work" "$size_bytes"

cold_note=""
if [ $cold -eq 0 ]; then
  cold_note="cold case skipped: --no-cold"
elif ! bench_can_drop_caches; then
  cold=0
  cold_note="cold case skipped: dropping the page cache needs root and a writable /proc/sys/vm/drop_caches"
fi

archive="$work/BENCH.Ark"
rm -rf "$work/Ch10Conversion" "$work/copy.Ark"
echo "Generating a $size_text archive of $bits-bit words in $work ..."
# The 32-bit sync pattern fills two 16-bit words, three 12-bit ones: the
# subframe counter follows it.
sfid_word=3
[ "$bits" = 12 ] && sfid_word=4
"$build/orlovarnel-mkarchive" --out "$archive" --wpf 256 --word-length "$bits" --sfid-word "$sfid_word" \
  --frames-per-block 16 --rate 1000 --size "$size_bytes" --setup >/dev/null

cd "$work"
# Times a command into $work/$1.time: wall, peak KiB, user and system CPU.
timed() {
  local name="$1"
  shift
  /usr/bin/time -f "%e %M %U %S" -o "$work/$name.time" "$@"
}
# What comes before each command: the outputs of the one before removed and
# its dirty pages written out (the machine's write-back otherwise lands on
# whichever command runs next); in the cold case the page cache dropped.
prepare() {
  rm -rf "$work/Ch10Conversion" "$work/copy.Ark"
  if [ "$1" = cold ]; then bench_drop_caches; else sync; fi
}

# One case, warm or cold: --runs rounds of cp, cp + sync and the
# conversion, alternately. Leaves the times in <case>_cp, <case>_cs,
# <case>_cv and the peaks in <case>_cv_kib, <case>_cp_kib.
run_case() {
  local mode="$1" cp_t=() cs_t=() cv_t=() cv_k=() cp_k=() dk_t=() disk_note=""
  local round t k u s cp_cpu cv_cpu load_before free_kib
  echo
  echo "$mode case, $runs rounds:"
  for round in $(seq 1 "$runs"); do
    # The disk may be shared: stop rather than fill it.
    rm -rf "$work/Ch10Conversion" "$work/copy.Ark"
    free_kib=$(bench_free_kib "$work")
    if [ "$free_kib" -lt $((size_bytes / 1024 * 2 + 1024 * 1024)) ]; then
      echo "convert_bench: too little free space left for round $round" >&2
      rm -f "$archive"
      exit 1
    fi
    load_before=$(bench_load)
    prepare "$mode"
    timed cp cp "$archive" "$work/copy.Ark"
    prepare "$mode"
    timed cpsync sh -c 'cp "$1" "$2" && sync "$2"' cpsync "$archive" "$work/copy.Ark"
    prepare "$mode"
    timed convert "$build/orlovarnel-convert" --quiet "$archive" >"$work/convert.out" 2>"$work/convert.err" || {
      cat "$work/convert.out" "$work/convert.err" >&2
      exit 1
    }
    if [ "$mode" = cold ]; then
      prepare cold
      timed disk bash -c "$(declare -f bench_direct_read); bench_direct_read \"\$1\"" - "$archive"
      read -r t k u s <"$work/disk.time"; dk_t+=("$t"); disk_note=", disk (direct read) $t s"
    fi
    read -r t k u s <"$work/cp.time"; cp_t+=("$t"); cp_k+=("$k"); cp_cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
    read -r t k u s <"$work/convert.time"; cv_t+=("$t"); cv_k+=("$k"); cv_cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
    read -r t k u s <"$work/cpsync.time"; cs_t+=("$t")
    echo "round $round: cp ${cp_t[-1]} s (cpu $cp_cpu s), cp + sync ${cs_t[-1]} s, conversion ${cv_t[-1]} s (cpu $cv_cpu s)$disk_note (load before $load_before, after $(bench_load))"
  done
  eval "${mode}_cp=\$(median \"\${cp_t[@]}\")"
  eval "${mode}_cs=\$(median \"\${cs_t[@]}\")"
  eval "${mode}_cv=\$(median \"\${cv_t[@]}\")"
  eval "${mode}_cv_kib=\$(largest \"\${cv_k[@]}\")"
  eval "${mode}_cp_kib=\$(largest \"\${cp_k[@]}\")"
  [ "$mode" = cold ] && cold_dk=$(median "${dk_t[@]}")
  return 0
}

# Into the page cache, twice for good measure.
cat "$archive" >/dev/null
cat "$archive" >/dev/null
run_case warm
[ $cold -eq 1 ] && run_case cold

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "inf" }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

echo
cat "$work/convert.out"
echo
printf '%-28s %15s %14s\n' "" "median wall (s)" "peak RSS (MiB)"
modes="warm"
[ $cold -eq 1 ] && modes="warm cold"
status=0
peak_kib=0
for mode in $modes; do
  eval "cp_s=\$${mode}_cp cs_s=\$${mode}_cs cv_s=\$${mode}_cv cv_kib=\$${mode}_cv_kib cp_kib=\$${mode}_cp_kib"
  printf '%-28s %15.2f %14s\n' "cp, $mode" "$cp_s" "$(mib "$cp_kib")"
  printf '%-28s %15.2f\n' "cp + sync, $mode" "$cs_s"
  printf '%-28s %15.2f %14s\n' "orlovarnel-convert, $mode" "$cv_s" "$(mib "$cv_kib")"
  [ "$mode" = cold ] && printf '%-28s %15.2f\n' "direct read of the archive" "$cold_dk"
  [ "$cv_kib" -gt "$peak_kib" ] && peak_kib=$cv_kib
done
echo "words: $bits bits, archive: $size_text, rounds: $runs per case"
for mode in $modes; do
  eval "cp_s=\$${mode}_cp cs_s=\$${mode}_cs cv_s=\$${mode}_cv"
  plain=$(ratio "$cv_s" "$cp_s")
  durable=$(ratio "$cv_s" "$cs_s")
  echo "$mode: ratio convert / cp: $plain (a plain cp is not durable)"
  echo "$mode: ratio convert / (cp + sync): $durable (goal <= 1.2)"
  [ "$mode" = cold ] && echo "cold: ratio convert / direct read: $(ratio "$cv_s" "$cold_dk"), cp / direct read: $(ratio "$cp_s" "$cold_dk")"
  if awk -v r="$durable" 'BEGIN { exit !(r == "inf" || r > 1.2) }'; then
    echo "GOAL MISSED ($mode): conversion takes more than 1.2 x the time of cp + sync"; status=1
  fi
done
[ $cold -eq 0 ] && echo "$cold_note"
if [ "$peak_kib" -ge $((32 * 1024)) ]; then
  echo "GOAL MISSED: peak resident memory is 32 MiB or more"; status=1
fi
[ $status -eq 0 ] && echo "All goals met."

if [ $keep -eq 0 ]; then rm -rf "$work/Ch10Conversion" "$archive" "$work"/*.B50 "$work/copy.Ark"; fi
exit $status
