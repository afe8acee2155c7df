#!/usr/bin/env bash
# The main job from a fresh clone: installs what is missing, builds everything
# in build/, then runs zar on the sample tree that the repository carries:
# puts it into an archive, lists the archive, tests it, extracts it into a
# scratch folder and shows that the result matches the tree.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
echo "== Building everything in build/"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"

zar=build/tools/zar/zar
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
