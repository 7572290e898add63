#!/usr/bin/env bash
# Builds the Debian packages with cpack and checks what each holds and needs: karvona (the tool,
# the service, its unit and the data) pulls no Qt, X11 or GUI library; karvona-gui depends on
# karvona of the same version and on a Korean font, and its man page and desktop entry fit the
# program. Then unpacks karvona with dpkg-deb -x into a temporary root and reads the bundled
# photographs with the unpacked program from another folder, without --data: the same readings
# as the build's own program with --data, and exit code 0; synth finds its owner list there too.
#
#   deb_test.sh CPACK BUILD_FOLDER SAMPLES_FOLDER
set -euo pipefail
cpack=$1
build=$2
samples=$3

if ! command -v dpkg-deb >/dev/null; then
  echo "dpkg-deb is not installed: the package test is skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$@"; exit 1; }

if ! (cd "$build" && "$cpack" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log"
  exit 1
fi
deb=$(ls "$work"/out/karvona_*.deb)
version=$(dpkg-deb -f "$deb" Version)
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for file in ./usr/bin/karvona ./usr/share/karvona/prefixes.trn ./usr/share/karvona/numbers.trn \
  ./usr/share/karvona/prefix.txt ./usr/share/man/man1/karvona-read.1.gz \
  ./usr/share/doc/karvona/copyright ./usr/lib/systemd/system/karvona.service \
  ./usr/share/karvona/web/index.html ./usr/share/karvona/web/desk.js; do
  grep -qx "$file" "$work/contents" || fail "karvona lacks $file"
done
! grep -q "karvona-gui\|applications/" "$work/contents" || fail "karvona holds the window's files"
# Nothing of the desktop: neither in the declared dependencies nor among the linked libraries.
desktop='qt|x11|libx|xcb|gtk|gl1|egl|wayland|highgui|opencv-contrib|fonts-'
depends=$(dpkg-deb -f "$deb" Depends)
! grep -qiE "$desktop" <<<"$depends" || fail "karvona depends on a desktop package: $depends"
dpkg-deb -x "$deb" "$work/root"
program=$work/root/usr/bin/karvona
needed=$(objdump -p "$program" | awk '/NEEDED/ {print $2}')
! grep -qiE 'qt|x11|xcb|gtk|highgui|opencv_freetype' <<<"$needed" || fail "karvona links: $needed"

gui=$(ls "$work"/out/karvona-gui_*.deb 2>/dev/null || true)
if [ -n "$gui" ]; then
  gui_depends=$(dpkg-deb -f "$gui" Depends)
  grep -qF "karvona (= $version)" <<<"$gui_depends" || fail "karvona-gui depends: $gui_depends"
  grep -qF "fonts-nanum" <<<"$gui_depends" || fail "karvona-gui needs no Korean font: $gui_depends"
  dpkg-deb -x "$gui" "$work/gui"
  for file in usr/bin/karvona-gui usr/share/applications/karvona-gui.desktop \
    usr/share/icons/hicolor/scalable/apps/karvona.svg usr/share/man/man1/karvona-gui.1.gz \
    usr/share/doc/karvona-gui/copyright; do
    [ -f "$work/gui/$file" ] || fail "karvona-gui lacks /$file"
  done
  grep -qx 'Exec=karvona-gui %F' "$work/gui/usr/share/applications/karvona-gui.desktop" ||
    fail "the desktop entry passes no files"
  page=$(zcat "$work/gui/usr/share/man/man1/karvona-gui.1.gz")
  for option in $("$build/src/app/karvona-gui" --help | grep -oE '^ +(-[a-z],)?--[a-z-]+' |
    grep -oE -- '--[a-z-]+'); do
    grep -qF -- "${option//-/\\-}" <<<"$page" || fail "the window's man page lacks $option"
  done
  ! grep -qi "texts are Korean" <<<"$page" || fail "the window's man page says its texts are Korean"
fi
# The library: headers, archives that still hold their symbols, the CMake package, karvona.pc.
dev=$(ls "$work"/out/libkarvona-dev_*.deb)
dpkg-deb -c "$dev" | awk '{print $6}' >"$work/dev-contents"
for file in ./usr/include/karvona/karvona.hpp ./usr/include/karvona/version.hpp \
  ./usr/share/doc/libkarvona-dev/copyright; do
  grep -qx "$file" "$work/dev-contents" || fail "libkarvona-dev lacks $file"
done
for file in KarvonaConfig.cmake KarvonaConfigVersion.cmake karvona.pc libkarvona_recognition.a; do
  grep -q "/$file\$" "$work/dev-contents" || fail "libkarvona-dev lacks $file"
done
! grep -q "/bin/\|include/recognition" "$work/dev-contents" || fail "libkarvona-dev holds more"
grep -qF "karvona (= $version)" <<<"$(dpkg-deb -f "$dev" Depends)" || fail "libkarvona-dev depends"
dpkg-deb -x "$dev" "$work/dev"
nm -C "$(find "$work/dev" -name libkarvona_recognition.a)" >"$work/dev-symbols" 2>/dev/null || true
grep -q " T karvona::ReadCode" "$work/dev-symbols" || fail "libkarvona_recognition.a lost its symbols"
# The copyright files are in Debian's machine-readable format, with the data's notices.
if /usr/bin/python3 -c 'import debian.copyright' 2>/dev/null; then
  for file in "$work"/root/usr/share/doc/karvona/copyright ${gui:+"$work"/gui/usr/share/doc/karvona-gui/copyright}; do
    /usr/bin/python3 - "$file" <<'PY' || fail "$file is not a DEP-5 copyright file"
import sys
from debian.copyright import Copyright
with open(sys.argv[1], encoding="utf-8") as f:
    parsed = Copyright(f, strict=True)
licences = {p.license.synopsis for p in parsed.all_files_paragraphs()}
assert "Expat" in licences, licences
PY
  done
fi
grep -q "meyermarcel/icm" "$work/root/usr/share/doc/karvona/copyright" || fail "no notice for prefix.txt"

mkdir "$work/elsewhere"
cd "$work/elsewhere"
said=$("$program" --version)
[[ $said =~ ^karvona\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version says: $said"

export KARVONA_ROOT=$work/home
unset KARVONA_DATA
status=0
"$program" read --format csv "$samples" >"$work/unpacked.csv" 2>"$work/unpacked.err" || status=$?
if [ "$status" -ne 0 ]; then
  echo "the unpacked program ended with $status"
  cat "$work/unpacked.err"
  exit 1
fi
"$build/src/cli/karvona" read --format csv --data "$(dirname "$samples")/data" "$samples" \
  >"$work/built.csv" 2>/dev/null
# The same codes and outcomes (the milliseconds, column 8, aside).
if ! diff <(cut -d, -f1-7,9- "$work/built.csv") <(cut -d, -f1-7,9- "$work/unpacked.csv"); then
  fail "the unpacked program reads differently"
fi
"$program" synth --seed 1 --count 1 --out "$work/synth" >/dev/null 2>"$work/synth.err" ||
  fail "the unpacked synth found no owner list: $(cat "$work/synth.err")"
rows=$(($(wc -l <"$work/unpacked.csv") - 1))
perfect=$(grep -cE ',perpect(,|$)' "$work/unpacked.csv" || true)
echo "package $(basename "$deb"): $rows photographs read from $PWD without --data, $perfect perfect"
[ "$rows" -gt 0 ] && [ "$perfect" -gt 0 ]
