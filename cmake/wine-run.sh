#!/usr/bin/env bash
# Runs a program of the x86-64 Windows build under Wine: ctest puts this
# before every test command of that build (the toolchain's emulator). The
# 64-bit loader is used directly, as these machines run no 32-bit code.
# WINEPREFIX is the one the caller made for the whole run
# (scripts/test-windows.sh); without one, a fresh prefix is made for this
# program alone and removed afterwards.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
wine=${ZARLIB_WINE:-/usr/lib/wine/wine64}
if [ -n "${WINEPREFIX:-}" ]; then
  exec "$wine" "$@"
fi
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/zar-wine.XXXXXX")
export WINEPREFIX
cleanup() {
  "$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
status=0
"$wine" "$@" || status=$?
exit "$status"
