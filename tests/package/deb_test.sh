#!/usr/bin/env bash
# Builds the Debian package with cpack, unpacks it with dpkg-deb -x into a temporary root, and
# reads the bundled photographs with the unpacked program from another folder, without --data:
# the same readings as the build's own program with --data, and exit code 0.
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

if ! (cd "$build" && "$cpack" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log"
  exit 1
fi
deb=$(ls "$work"/out/karvona_*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for file in ./usr/bin/karvona ./usr/share/karvona/prefixes.trn ./usr/share/karvona/numbers.trn \
  ./usr/share/karvona/prefix.txt ./usr/share/man/man1/karvona-read.1.gz; do
  grep -qx "$file" "$work/contents" || { echo "the package lacks $file"; exit 1; }
done
if grep -qx ./usr/bin/karvona-gui "$work/contents"; then
  for file in ./usr/share/applications/karvona-gui.desktop \
    ./usr/share/icons/hicolor/scalable/apps/karvona.svg ./usr/share/man/man1/karvona-gui.1.gz; do
    grep -qx "$file" "$work/contents" || { echo "the package lacks $file"; exit 1; }
  done
fi

dpkg-deb -x "$deb" "$work/root"
mkdir "$work/elsewhere"
cd "$work/elsewhere"
program=$work/root/usr/bin/karvona
version=$("$program" --version)
[[ $version =~ ^karvona\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "--version says: $version"; exit 1; }

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
  echo "the unpacked program reads differently"
  exit 1
fi
rows=$(($(wc -l <"$work/unpacked.csv") - 1))
perfect=$(grep -cE ',perpect(,|$)' "$work/unpacked.csv" || true)
echo "package $(basename "$deb"): $rows photographs read from $PWD without --data, $perfect perfect"
[ "$rows" -gt 0 ] && [ "$perfect" -gt 0 ]
