#!/usr/bin/env bash
# The service unit passes `systemd-analyze verify` without a word (an unknown or misspelt key is
# only a warning there, so any output fails) and keeps its exposure score low. verify needs no
# running systemd: it runs in a container too. The unit names /usr/bin/karvona, which verify
# requires to exist, so it is checked with the built program in its place.
#
#   systemd_unit_test.sh UNIT_FILE KARVONA
set -euo pipefail
unit=$(realpath "$1")
program=$(realpath "$2")
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze is not installed (package systemd): skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|/usr/bin/karvona|$program|g" "$unit" >"$work/karvona.service"
cd "$work"
# verify itself must work here (it does in a container without systemd as PID 1 too).
printf '[Service]\nExecStart=/bin/true\n' >"$work/plain.service"
if ! systemd-analyze verify --man=no plain.service >/dev/null 2>&1; then
  echo "systemd-analyze verify cannot run here: skipped"
  exit 77
fi
if ! systemd-analyze verify --man=no karvona.service >"$work/verify.log" 2>&1; then
  cat "$work/verify.log"
  exit 1
fi
if [ -s "$work/verify.log" ]; then
  echo "systemd-analyze verify warns:"
  cat "$work/verify.log"
  exit 1
fi
for key in DynamicUser=yes StateDirectory=karvona Restart=on-failure ProtectSystem=strict \
  'ExecStart=/usr/bin/karvona serve --listen ${KARVONA_LISTEN}' KARVONA_LISTEN=127.0.0.1:; do
  grep -qF "$key" "$unit" || { echo "the unit lacks $key"; exit 1; }
done
if ! systemd-analyze security --offline=yes --threshold=20 karvona.service >"$work/security.log" 2>&1; then
  grep -E "✗|Overall" "$work/security.log"
  exit 1
fi
grep Overall "$work/security.log"
