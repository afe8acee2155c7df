#!/usr/bin/env bash
# Zips one tree of real files (by default /usr/include: thousands of headers)
# into a new archive with the library (bench/zip_archive, default level) and
# with `zip -r -q` (its default level), side by side in one run, each as a
# whole process; prints the median wall times, the time ratio and the ratio of
# the archive sizes, and checks that unzip accepts the library's archive.
# usage: bench/zip_bench.sh BUILD_DIR [TREE] [RUNS]
set -euo pipefail
build=${1:?build directory with ZARLIB_BUILD_BENCHMARKS=ON}
tree=$(cd "${2:-/usr/include}" && pwd)
runs=${3:-5}
host="$build/bench/zip_archive"
source "$(dirname "$0")/timing.sh"
work=$(scratch_dir zip-bench)
trap 'rm -rf "$work"' EXIT

# Both programs zip the same bytes: a copy of the tree without symbolic
# links, which the two would treat differently.
cp -a "$tree" "$work/tree"
find "$work/tree" -type l -delete
tree="$work/tree"

# Each run writes a new archive.
before_run() { rm -f "$work/ours.zip" "$work/zip.zip"; }

ours=$(timeit "$host" "$work/ours.zip" "$tree")
theirs=$(cd "$tree" && timeit zip -r -q "$work/zip.zip" .)
before_run
"$host" "$work/ours.zip" "$tree"
(cd "$tree" && zip -r -q "$work/zip.zip" .)
unzip -tq "$work/ours.zip" > /dev/null

files=$(find "$tree" -type f | wc -l)
ratio() { echo "$1 / $2" | bc -l; }
printf 'tree: a copy of %s (%d files, %s bytes); median of %d runs (whole process)\n' \
  "${2:-/usr/include}" "$files" "$(du -sb "$tree" | cut -f1)" "$runs"
printf '  zarlib32  %9d us  %10d bytes\n' "$ours" "$(stat -c %s "$work/ours.zip")"
printf '  zip -r -q %9d us  %10d bytes\n' "$theirs" "$(stat -c %s "$work/zip.zip")"
printf '  time zip/zarlib32 %.2f   size zarlib32/zip %.4f\n' \
  "$(ratio "$theirs" "$ours")" "$(ratio "$(stat -c %s "$work/ours.zip")" "$(stat -c %s "$work/zip.zip")")"
