#!/usr/bin/env bash
# Installs the build into a temporary prefix and converts the demo archive
# with the installed converter; builds the Debian package and checks its
# file list and dependencies; runs lintian on it when lintian is installed
# (scripts/setup.sh --packaging installs it).
#
#   install_and_package_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail

build="$1"
source="$2"
version="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# --- install into a prefix ---------------------------------------------------
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
expected_installed=(
  bin/orlovarnel-convert bin/orlovarnel-verify bin/orlovarnel-info bin/orlovarnel-mkarchive
  share/man/man1/orlovarnel-convert.1.gz share/man/man1/orlovarnel-verify.1.gz
  share/man/man1/orlovarnel-info.1.gz
  share/man/man1/orlovarnel-mkarchive.1.gz
  share/doc/orlovarnel/copyright share/doc/orlovarnel/changelog.gz
  share/doc/orlovarnel/README.md)
if [ -e "$build/OrloVarnel" ]; then
  expected_installed+=(bin/OrloVarnel share/man/man1/OrloVarnel.1.gz
                       share/applications/orlovarnel.desktop
                       share/icons/hicolor/scalable/apps/orlovarnel.svg
                       share/doc/orlovarnel/docs/screenshots/main-after.png)
fi
for f in "${expected_installed[@]}"; do
  [ -e "$prefix/$f" ] || fail "cmake --install did not install $f"
done
for f in bin/orlovarnel-convert bin/orlovarnel-verify bin/orlovarnel-info bin/orlovarnel-mkarchive; do
  [ -x "$prefix/$f" ] || fail "$f is not executable"
done
# Installed man pages are whole, with the project version filled in.
zcat "$prefix/share/man/man1/orlovarnel-convert.1.gz" | grep -q "OrloVarnel $version" ||
  fail "the converter's man page does not carry version $version"

# The installed converter on the demo archive, outputs in their own folder.
run="$work/run"
mkdir -p "$run"
cp "$source/samples/DEMO01.Ark" "$source/samples/DEMO01.B50" "$run/"
out="$(cd "$run" && "$prefix/bin/orlovarnel-convert" --quiet --verify --output-dir "$work/out" DEMO01.Ark)" ||
  fail "installed converter exited with $?: $out"
grep -q "DEMO01.Ark: Conversion Complete, frames 2517 (fill 5)" <<<"$out" || fail "summary: $out"
grep -q "DEMO01.Ark: verified: 2512 frames, 5 fill frames, 30 packets" <<<"$out" || fail "check: $out"
[ -s "$work/out/DEMO01.ch10" ] || fail "no Chapter 10 file in the output folder"
[ ! -e "$run/Ch10Conversion" ] || fail "outputs written beside the archive"
"$prefix/bin/orlovarnel-verify" --output-dir "$work/out" "$run/DEMO01.Ark" >/dev/null ||
  fail "installed orlovarnel-verify did not verify the demo"
[ "$("$prefix/bin/orlovarnel-convert" --version)" = "OrloVarnel $version" ] ||
  fail "--version does not say $version"

# --- Debian package ------------------------------------------------------------
(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null) || fail "cpack could not build the package"
deb="$(ls "$work"/pkg/orlovarnel_*.deb)"
[ "$(basename "$deb")" = "orlovarnel_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "package file name $(basename "$deb")"
listing="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in "${expected_installed[@]}"; do
  grep -qx "./usr/$f" <<<"$listing" || fail "the package lacks /usr/$f"
done
if [ -e "$build/OrloVarnel" ]; then
  grep -q "xdg-utils" <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "Recommends lacks xdg-utils"
  grep -qx "Exec=OrloVarnel --state-folder" "$prefix/share/applications/orlovarnel.desktop" ||
    fail "the desktop entry does not start in the state folder"
fi
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libstdc++6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$source/packaging/orlovarnel.desktop" || fail "the desktop entry is not valid"
fi
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian reports errors"
  echo "lintian: no errors"
else
  echo "lintian not installed: package not checked by it (scripts/setup.sh --packaging installs it)"
fi
echo "install and package: passed"
