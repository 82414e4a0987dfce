#!/usr/bin/env bash
# What the self-check costs, on a generated archive (WPF 256, 16-bit words
# by default, 16 frames per block, 1000 Hz; 1 GiB by default, with a few
# lost frames). In alternating rounds (--runs, default 5) it times:
#   warm (archive and Chapter 10 file in the page cache):
#     cp           `cp` of the archive to a new file (a cp that copies inside
#                  the kernel, as coreutils' does where it can, makes one
#                  copy of the archive; the check brings two files into
#                  its own memory)
#     read         `cat` of the archive and of the Chapter 10 file at once:
#                  what bringing the check's two files into a process costs
#     verify       orlovarnel-verify of the converted file
#     convert      orlovarnel-convert
#     convert+v    orlovarnel-convert --verify
#   cold (the page cache dropped before each run, through
#   /proc/sys/vm/drop_caches; only as root, and said so and skipped where
#   that is not allowed):
#     cp cold      `cp` of the archive
#     verify cold  orlovarnel-verify
#     read cold    the same two `cat`s: what reading the two files costs the
#                  disk alone
#     disk cold    both files read at once with direct I/O (dd iflag=direct
#                  bs=16M): what the disk delivers without the page cache
# and prints the medians, the ratios the check is held to (verify against
# cp warm, at most 1.0; --verify added to a conversion, at most +50 %;
# verify cold against cp cold, at most 1.5), the peak resident memory of
# each command and the machine's load before and after (the machine may be
# shared: the load says how far to trust the figures). The checker reads
# its two files on threads of their own where a second processor is there,
# so an idle second core is part of the result. The files are deleted at
# the end unless --keep is given.
#
# Usage: bench/verify_bench.sh [--size BYTES] [--runs N] [--word-length BITS]
#                              [--no-cold] [--keep] [--work DIR]
#   BUILD_DIR (default build/bench) is where the Release build goes;
#   BENCH_PREBUILT=1 takes the programs already there.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_bytes=$((1024 * 1024 * 1024))
keep=0
runs=5
word_length=16
cold=1
work="$root/build/bench-data"
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size_bytes="$2"; shift ;;
    --keep) keep=1 ;;
    --runs) runs="$2"; shift ;;
    --word-length) word_length="$2"; shift ;;
    --no-cold) cold=0 ;;
    --work) work="$2"; shift ;;
    -h|--help) sed -n '2,35p' "$0"; exit 0 ;;
    *) echo "verify_bench: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

build="${BUILD_DIR:-$root/build/bench}"
. "$root/bench/bench_common.sh"
bench_build "$build" orlovarnel-verify

# The archive, the Chapter 10 file and a copy of the archive: about 3 x size.
work=$(bench_abs_dir "$work")
bench_need_space verify_bench "$work" "$size_bytes"

drop_caches_allowed() {
  [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ] && sync &&
    echo 1 >/proc/sys/vm/drop_caches 2>/dev/null
}
if [ $cold -eq 1 ] && ! drop_caches_allowed; then
  echo "verify_bench: the page cache cannot be dropped here (needs root and a writable" \
    "/proc/sys/vm/drop_caches): the cold runs are skipped"
  cold=0
fi

archive="$work/VERIFY.Ark"
ch10="$work/Ch10Conversion/VERIFY.ch10"
echo "Generating a $size_bytes-byte archive of $word_length-bit words in $work ..."
# The subframe counter follows the words of the 32-bit sync pattern.
"$build/orlovarnel-mkarchive" --out "$archive" --wpf 256 --word-length "$word_length" \
  --sfid-word $(((32 + word_length - 1) / word_length + 1)) \
  --frames-per-block 16 --rate 1000 --size "$size_bytes" --gap 100000:5 --gap 900000:1 \
  --setup >/dev/null
cd "$work"
"$build/orlovarnel-convert" --quiet "$archive" >/dev/null
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

modes=(cp read verify convert convert+v)
[ $cold -eq 1 ] && modes+=("cp cold" "verify cold" "read cold" "disk cold")
declare -A times kib

# Runs one mode once; its wall time and peak RSS are added to the lists.
run_mode() {
  local mode="$1" command=()
  case "$mode" in
    cp|"cp cold") command=(cp "$archive" "$work/copy.Ark") ;;
    verify|"verify cold") command=("$build/orlovarnel-verify" "$archive") ;;
    convert) command=("$build/orlovarnel-convert" --quiet "$archive") ;;
    convert+v) command=("$build/orlovarnel-convert" --quiet --verify "$archive") ;;
    read|"read cold")
      command=(bash -c 'cat "$1" >/dev/null & cat "$2" >/dev/null; wait' - "$archive" "$ch10") ;;
    "disk cold")
      command=(bash -c "$(declare -f bench_direct_read); bench_direct_read \"\$1\" \"\$2\"" - "$archive" "$ch10") ;;
  esac
  rm -f "$work/copy.Ark"
  sync
  if [[ "$mode" == *cold ]]; then
    echo 3 >/proc/sys/vm/drop_caches
  else
    cat "$archive" "$ch10" >/dev/null
  fi
  /usr/bin/time -f "%e %M" -o "$work/run.time" "${command[@]}" \
    >"$work/run.out" 2>"$work/run.err" || {
    cat "$work/run.out" "$work/run.err" >&2
    exit 1
  }
  if [[ "$mode" == verify* ]]; then
    grep -q ": verified: " "$work/run.out" || { cat "$work/run.out" >&2; exit 1; }
    cp "$work/run.out" "$work/run.verified"
  fi
  local t k
  read -r t k <"$work/run.time"
  times[$mode]+="$t "
  kib[$mode]+="$k "
}

for round in $(seq 1 "$runs"); do
  line="round $round:"
  for mode in "${modes[@]}"; do
    run_mode "$mode"
    read -r -a list <<<"${times[$mode]}"
    line+=" $mode ${list[-1]} s,"
  done
  echo "${line%,}"
done
rm -f "$work/copy.Ark"
cat "$work/run.verified"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

declare -A med
echo
printf '%-14s %16s %15s\n' "" "median wall (s)" "peak RSS (MiB)"
for mode in "${modes[@]}"; do
  # shellcheck disable=SC2086
  med[$mode]=$(median ${times[$mode]})
  # shellcheck disable=SC2086
  printf '%-14s %16.2f %15.1f\n' "$mode" "${med[$mode]}" \
    "$(awk -v k="$(largest ${kib[$mode]})" 'BEGIN { print k / 1024 }')"
done
echo
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
echo "verify / cp (warm):            $(ratio "${med[verify]}" "${med[cp]}") x (goal <= 1.0)"
echo "verify / read (warm):          $(ratio "${med[verify]}" "${med[read]}") x" \
  "(bringing the two files into a process alone)"
awk -v a="${med[convert+v]}" -v b="${med[convert]}" 'BEGIN {
  pct = 0; if (b > 0) pct = 100 * (a - b) / b
  printf "--verify adds to a conversion: %.2f s, %.0f%% (goal <= 50%%)\n", a - b, pct }'
if [ $cold -eq 1 ]; then
  echo "verify cold / cp cold:         $(ratio "${med[verify cold]}" "${med[cp cold]}") x" \
    "(goal <= 1.5)"
  echo "verify cold / read cold:       $(ratio "${med[verify cold]}" "${med[read cold]}") x" \
    "(reading the two files alone)"
  echo "verify cold / disk cold:       $(ratio "${med[verify cold]}" "${med[disk cold]}") x" \
    "(the two files read with direct I/O); cp cold / disk cold: $(ratio "${med[cp cold]}" "${med[disk cold]}") x"
fi

if [ $keep -eq 0 ]; then rm -rf "$work/Ch10Conversion" "$archive" "$work"/*.B50 "$work"/run.*; fi
