# Shared steps of the whole-process benchmarks; sourced, not run.

# Builds the converter and the generator in Release into $1.
bench_build() {
  cmake -S "$root" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLO_BUILD_TESTS=OFF \
    -DORLO_WERROR=OFF >/dev/null
  cmake --build "$1" --target orlovarnel-convert orlovarnel-mkarchive -j "${JOBS:-2}" >/dev/null
}

# Creates the work folder $2 and stops the benchmark $1 when it has less
# than about three times $3 bytes free (the archive and two outputs).
bench_need_space() {
  mkdir -p "$2"
  local need_kib=$(($3 / 1024 * 3 + 1024 * 1024))
  local free_kib
  free_kib=$(df -Pk "$2" | awk 'NR == 2 { print $4 }')
  if [ "$free_kib" -lt "$need_kib" ]; then
    echo "$1: $2 needs $((need_kib / 1024)) MiB free, has $((free_kib / 1024)) MiB" >&2
    exit 1
  fi
}
