#!/usr/bin/env bash
# The main job from a fresh clone: installs what building needs when it is
# missing, builds the library and zar (nothing else) in build-main/, installs
# them into build-main/install, then runs the installed zar on the sample tree
# that the repository carries: puts it into an archive, lists the archive,
# tests it, extracts it into a scratch folder and shows that the result
# matches the tree.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh --build

jobs=$(nproc 2>/dev/null || echo 2)
echo "== Building the library and zar in build-main/"
cmake -S . -B build-main -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZARLIB_BUILD_TESTS=OFF -DZARLIB_BUILD_EXAMPLES=OFF > /dev/null
cmake --build build-main -j "$jobs" --target zar
echo "== Installing them into build-main/install"
cmake --install build-main --prefix build-main/install > /dev/null

zar=build-main/install/bin/zar
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zar-main-job.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
archive="$scratch/sample.zip"

echo
echo "== zar add: examples/sample into $archive"
"$zar" add -C examples "$archive" sample
echo
echo "== zar list"
"$zar" list "$archive"
echo
echo "== zar test"
"$zar" test "$archive"
echo
echo "== zar extract into $scratch/out"
"$zar" extract -d "$scratch/out" "$archive"
echo
echo "== diff -r examples/sample $scratch/out/sample"
if ! diff -r examples/sample "$scratch/out/sample"; then
  echo "The extracted tree differs from examples/sample." >&2
  exit 1
fi
echo "The extracted tree matches examples/sample, file for file."
