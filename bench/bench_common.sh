# Shared steps of the whole-process benchmarks; sourced, not run.

# Builds the converter, the generator and the further targets given in
# Release into $1; with BENCH_PREBUILT=1 it takes the programs already there
# (an older build, to compare).
bench_build() {
  [ "${BENCH_PREBUILT:-0}" = 1 ] && return 0
  local dir="$1"
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLO_BUILD_TESTS=OFF \
    -DORLO_WERROR=OFF >/dev/null
  cmake --build "$dir" --target orlovarnel-convert orlovarnel-mkarchive "$@" -j "${JOBS:-2}" >/dev/null
}

# KiB free on the file system that holds folder $1.
bench_free_kib() {
  df -Pk "$1" | awk 'NR == 2 { print $4 }'
}

# Creates the work folder $2 and stops the benchmark $1 when it has less
# than about three times $3 bytes free (the archive and two outputs).
bench_need_space() {
  mkdir -p "$2"
  local need_kib=$(($3 / 1024 * 3 + 1024 * 1024))
  local free_kib
  free_kib=$(bench_free_kib "$2")
  if [ "$free_kib" -lt "$need_kib" ]; then
    echo "$1: $2 needs $((need_kib / 1024)) MiB free, has $((free_kib / 1024)) MiB" >&2
    exit 1
  fi
}

# The median of the numbers given (the lower middle one of an even count).
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The largest of the numbers given.
largest() { printf '%s\n' "$@" | sort -g | tail -n 1; }

# The machine's load average (1, 5 and 15 minutes).
bench_load() { cut -d' ' -f1-3 /proc/loadavg; }

# Whether this process may drop the page cache (root, and a
# /proc/sys/vm/drop_caches it can write). Tried once, for real.
bench_can_drop_caches() {
  [ "$(id -u)" = 0 ] && [ -w /proc/sys/vm/drop_caches ] && bench_drop_caches 2>/dev/null
}

# Writes out the dirty pages, then drops the clean ones: the files read
# next come from the disk.
bench_drop_caches() {
  sync && echo 3 >/proc/sys/vm/drop_caches
}

# The folder $1 as an absolute path (it is created): the benchmarks change
# into their work folder, after which a relative one would name another.
bench_abs_dir() {
  mkdir -p "$1" && (cd "$1" && pwd)
}

# Reads the files given, all at once, from the disk with direct I/O in
# 16 MiB blocks: no page cache, no kernel read-ahead, one large request in
# flight per file. What the disk delivers, to compare a cold run with.
bench_direct_read() {
  local f
  for f in "$@"; do
    dd if="$f" of=/dev/null bs=16M iflag=direct status=none &
  done
  wait
}
