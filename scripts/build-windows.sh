#!/usr/bin/env bash
# Cross-builds the Windows targets with mingw-w64 and leaves dist/ ready to
# hand to a Windows host:
#   dist/zarlib32.dll   the 32-bit DLL: __stdcall exports under their plain names
#   dist/zarlib32.lib   its import library (GNU format, for MinGW and MSVC linkers)
#   dist/zarlib32.def   the export names
#   dist/zarlib32.h     the public header
#   dist/zar.exe        the command-line host, 32-bit
#   dist/x64/           the same DLL, import library and zar.exe for 64-bit hosts
# build-win32/ (i686) also holds the static checks of the export table and the
# ABI; build-win64/ (x86-64) the test programs that scripts/test-windows.sh
# runs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2  # the machines are shared: two jobs at most

configure() {
  local dir=$1 toolchain=$2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain" \
    -DZARLIB_BUILD_TESTS=ON -DZARLIB_BUILD_EXAMPLES=OFF -DZARLIB_INSTALL=OFF
}

echo "== i686: zarlib32.dll, zar.exe and the static checks in build-win32/"
configure build-win32 mingw-i686.cmake
cmake --build build-win32 -j "$jobs"

echo "== x86-64: zarlib32.dll, zar.exe and the test programs in build-win64/"
configure build-win64 mingw-x86_64.cmake
cmake --build build-win64 -j "$jobs"

rm -rf dist
mkdir -p dist/x64
cp build-win32/bin/zarlib32.dll build-win32/src/zarlib32.lib build-win32/bin/zar.exe dist/
cp src/exports/zarlib32.def include/zarlib32.h dist/
cp build-win64/bin/zarlib32.dll build-win64/src/zarlib32.lib build-win64/bin/zar.exe dist/x64/
# The builds keep their debugging information; what is handed on does not.
i686-w64-mingw32-strip --strip-unneeded dist/zarlib32.dll dist/zar.exe
x86_64-w64-mingw32-strip --strip-unneeded dist/x64/zarlib32.dll dist/x64/zar.exe
echo "== dist/:"
ls -l dist dist/x64
