#!/usr/bin/env bash
# Installs the library (the component "dev") from the build into a temporary prefix, builds the
# consumer project against it with find_package(Karvona), and reads photographs with it: the
# codes `karvona read` gives. pkg-config finds the library in the same prefix.
#
#   install_test.sh CMAKE BUILD_FOLDER SOURCE_FOLDER KARVONA_PROGRAM
set -euo pipefail
cmake=$1
build=$2
source=$3
program=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$@"; exit 1; }

"$cmake" --install "$build" --prefix "$work/usr" --component dev >"$work/install.log"
[ -f "$work/usr/include/karvona/karvona.hpp" ] || fail "no public header installed"
[ ! -e "$work/usr/include/recognition" ] || fail "the layers' own headers were installed"
[ ! -e "$work/usr/bin" ] || fail "the dev component holds programs"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
"$cmake" -S "$source/tests/install/consumer" -B "$work/consumer" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$work/usr" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; fail "the consumer does not configure"; }
"$cmake" --build "$work/consumer" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; fail "the consumer does not build"; }

photos=("$source"/samples/synth_00000[0-3].jpg)
"$work/consumer/read_codes" "$source/data" "${photos[@]}" >"$work/read.txt"
cat "$work/read.txt"
head -1 "$work/read.txt" | grep -qx "karvona [0-9.]*" || fail "no version"
"$program" read --data "$source/data" --format csv "${photos[@]}" 2>/dev/null |
  tail -n +2 | cut -d, -f3 >"$work/expected.txt" || true
tail -n +2 "$work/read.txt" | cut -d' ' -f1 | diff - "$work/expected.txt" ||
  fail "the library reads other codes than karvona read"

if command -v pkg-config >/dev/null; then
  flags=$(PKG_CONFIG_PATH="$work/usr/lib/pkgconfig" pkg-config --cflags --libs karvona) ||
    fail "pkg-config does not find karvona"
  grep -q -- "-lkarvona_recognition" <<<"$flags" || fail "pkg-config gives $flags"
  grep -q -- "-I$work/usr/lib/pkgconfig/../../include" <<<"$flags" || fail "pkg-config gives $flags"
fi
