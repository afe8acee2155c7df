#!/usr/bin/env bash
# The Windows stage: builds both Windows targets (scripts/build-windows.sh),
# runs the static checks of the 32-bit DLL, then the x86-64 test programs
# under Wine in a fresh Wine prefix that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build-windows.sh

echo "== i686: export table and ABI (static)"
ctest --test-dir build-win32 --output-on-failure

echo "== x86-64: tests under Wine"
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/zar-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all
cleanup() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# The prefix is made once, before the tests start in parallel.
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
/usr/lib/wine/wineserver -w
ctest --test-dir build-win64 -j 2 --output-on-failure
