# Cross-compiles for 64-bit Windows with the mingw-w64 toolchain of Debian
# (gcc-mingw-w64-x86-64, g++-mingw-w64-x86-64). This build's test programs run
# under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZARLIB_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Its programs run under Wine: ctest starts every test through this script.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
