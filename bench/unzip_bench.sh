#!/usr/bin/env bash
# Extracts and tests one large archive, made by `zip -r -6` from the benchmark
# corpus (its tree of small files, big.bin, and the tree once more under a
# second name: about 140 MB), with the library (bench/unzip_archive) and with
# `unzip`, side by side in one run, each as a whole process; prints the median
# wall times, the ratios and each program's peak memory.
# usage: bench/unzip_bench.sh BUILD_DIR CORPUS_DIR [RUNS]
set -euo pipefail
build=${1:?build directory with ZARLIB_BUILD_BENCHMARKS=ON}
corpus=${2:?corpus directory holding tree/ and big.bin}
runs=${3:-5}
host="$build/bench/unzip_archive"
source "$(dirname "$0")/timing.sh"
work=$(scratch_dir unzip-bench)
trap 'rm -rf "$work"' EXIT

mkdir "$work/src"
ln -s "$(cd "$corpus" && pwd)/tree" "$work/src/tree"
ln -s "$(cd "$corpus" && pwd)/tree" "$work/src/tree-again"
ln -s "$(cd "$corpus" && pwd)/big.bin" "$work/src/big.bin"
(cd "$work/src" && zip -q -r -6 "$work/big.zip" tree tree-again big.bin)
unpacked=$(unzip -Zt "$work/big.zip" | awk '{ print $3 }')

# The output directory is emptied before every run.
before_run() { rm -rf "$work/out" && mkdir "$work/out"; }
peak() { rm -rf "$work/out" && mkdir "$work/out" && /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

ours_x=$(timeit "$host" "$work/big.zip" "$work/out")
unzip_x=$(timeit unzip -q -o "$work/big.zip" -d "$work/out")
ours_t=$(timeit "$host" -t "$work/big.zip")
unzip_t=$(timeit unzip -tq "$work/big.zip")
ours_mem=$(peak "$host" "$work/big.zip" "$work/out")
unzip_mem=$(peak unzip -q -o "$work/big.zip" -d "$work/out")
# The library's extraction must equal unzip's, file for file.
rm -rf "$work/out" "$work/ref" && mkdir "$work/out" "$work/ref"
"$host" "$work/big.zip" "$work/out"
unzip -q "$work/big.zip" -d "$work/ref"
diff -r "$work/out" "$work/ref" > /dev/null

ratio() { echo "$1 / $2" | bc -l; }
printf 'archive: %s bytes unpacked, %s packed; median of %d runs (whole process)\n' \
  "$unpacked" "$(stat -c %s "$work/big.zip")" "$runs"
printf '  extract  zarlib32 %9d us   unzip -q  %9d us   unzip/zarlib32 %.2f\n' \
  "$ours_x" "$unzip_x" "$(ratio "$unzip_x" "$ours_x")"
printf '  test     zarlib32 %9d us   unzip -tq %9d us   unzip/zarlib32 %.2f\n' \
  "$ours_t" "$unzip_t" "$(ratio "$unzip_t" "$ours_t")"
printf '  peak memory: zarlib32 %d KiB, unzip %d KiB\n' "$ours_mem" "$unzip_mem"
