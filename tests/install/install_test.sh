#!/bin/sh
# Installs the build into a scratch prefix and uses it as a stranger would:
# the installed zar runs on its own (its run path finds the library), its
# manual page and bash completion are in place, and the example host builds
# against the installed header and library twice, found through CMake's
# find_package and through pkg-config; each build extracts an archive that
# the installed zar made, and the result matches the tree.
#   $1 build tree  $2 source tree  $3 scratch folder  $4 C compiler
#   $5 C++ compiler  $6 extra compile and link flags (the sanitizers)
set -eu
build=$1 source=$2 scratch=$3 cc=$4 cxx=$5 flags=${6:-}
rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" > install.log
zar=$prefix/bin/zar
env -u LD_LIBRARY_PATH "$zar" --version
test -s "$prefix/share/man/man1/zar.1"
grep -q "^.TH ZAR 1" "$prefix/share/man/man1/zar.1"
# The completion offers verbs, then the verb's options and values.
completes() {
  bash -c ". '$prefix/share/bash-completion/completions/zar'
    COMP_WORDS=($1); COMP_CWORD=\$((\${#COMP_WORDS[@]} - 1)); _zar; echo \"\${COMPREPLY[*]}\""
}
test "$(completes "zar ext")" = "extract"
test "$(completes "zar extract --ov")" = "--overwrite"
test "$(completes "zar add --volume-kind sp")" = "spanned"
test "$(completes "zar add --le")" = "--level"
test -f "$prefix/include/zarlib32.h"

env -u LD_LIBRARY_PATH "$zar" add -q -C "$source/examples" sample.zip sample
env -u LD_LIBRARY_PATH "$zar" test -q sample.zip

# find_package
cmake -S "$source/tests/install/consumer" -B with-cmake -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$flags" -DEXAMPLE_SOURCE="$source/examples/list_and_extract.c" > cmake.log
cmake --build with-cmake > build.log
env -u LD_LIBRARY_PATH ./with-cmake/list_and_extract sample.zip out-cmake > /dev/null
diff -r "$source/examples/sample" out-cmake/sample

# pkg-config
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/share/pkgconfig"
pkg-config --exists zarlib32
libdir=$(pkg-config --variable=libdir zarlib32)
"$cc" $flags -c "$source/examples/list_and_extract.c" $(pkg-config --cflags zarlib32) -o list_and_extract.o
"$cxx" $flags list_and_extract.o $(pkg-config --libs zarlib32) -Wl,-rpath,"$libdir" -o with-pkg-config
env -u LD_LIBRARY_PATH ./with-pkg-config sample.zip out-pkg-config > /dev/null
diff -r "$source/examples/sample" out-pkg-config/sample
echo "installed zar, find_package and pkg-config hosts all work"
