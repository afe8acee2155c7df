#!/usr/bin/env bash
# Lists a 20,000-entry archive with the library (bench/list_entries), with
# `unzip -Z1` and with Python's zipfile, each as a whole process, and prints
# the median wall time of each and the ratios.
# usage: bench/list_bench.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?build directory with ZARLIB_BUILD_BENCHMARKS=ON}
runs=${2:-21}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/big.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for i in range(20000):
        z.writestr(f"dir{i // 500:03d}/file{i:05d}.txt", f"entry {i}\n")
PY

source "$(dirname "$0")/timing.sh"

ours=$(timeit "$build/bench/list_entries" "$work/big.zip")
unzip=$(timeit unzip -Z1 "$work/big.zip")
python=$(timeit python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$work/big.zip")
[ "$("$build/bench/list_entries" "$work/big.zip" | wc -l)" -eq 20000 ]

printf 'listing 20000 entries, median of %d runs (whole process)\n' "$runs"
printf '  zarlib32   %8d us\n' "$ours"
printf '  unzip -Z1  %8d us   ratio %.2f\n' "$unzip" "$(echo "$unzip / $ours" | bc -l)"
printf '  zipfile    %8d us   ratio %.2f\n' "$python" "$(echo "$python / $ours" | bc -l)"
