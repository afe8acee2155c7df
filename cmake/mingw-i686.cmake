# Cross-compiles for 32-bit Windows with the mingw-w64 toolchain of Debian
# (gcc-mingw-w64-i686, g++-mingw-w64-i686): the zarlib32.dll that hosts load.
# Its exports are __stdcall under their undecorated names (src/exports/zarlib32.def).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZARLIB_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
