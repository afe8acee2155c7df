# What both mingw-w64 toolchain files share; ZARLIB_MINGW_TRIPLET names the target.
# The -posix variants of the compilers carry the C++ thread support of the
# standard library; the runtime libraries are linked statically so that the
# DLL and the programs need nothing beside them but the system's own DLLs.
set(CMAKE_C_COMPILER ${ZARLIB_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARLIB_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARLIB_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${ZARLIB_MINGW_TRIPLET}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${ZARLIB_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
