#!/usr/bin/env bash
# Builds the Debian package (Release build in build/pkg) and checks it with
# lintian. The package lands in build/pkg: orlovarnel_VERSION_ARCH.deb.
# Install it with: sudo apt install ./build/pkg/orlovarnel_*.deb
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

./scripts/setup.sh --packaging

build="$root/build/pkg"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLO_BUILD_TESTS=OFF \
  -DORLO_WERROR=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}"
(cd "$build" && cpack -G DEB -B "$build" >/dev/null)

deb="$(ls -t "$build"/orlovarnel_*.deb | head -n 1)"
echo "Package: $deb"
dpkg-deb -c "$deb" | awk '{print "  " $6}'
# Errors fail the build; warnings are shown.
lintian --fail-on error "$deb"
