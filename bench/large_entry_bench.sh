#!/usr/bin/env bash
# A file of 5 GiB against one of 1 GiB of the same kind of bytes: each is
# zipped into a new archive at the default level (bench/zip_archive), tested
# and extracted again (bench/unzip_archive), each as a whole process. Testing
# shows the decoding alone; extraction adds the writing of gigabytes, where
# the system's write-back can weigh on the larger file. Prints the
# wall time per GiB of both, their ratio (the large file's entry needs the
# Zip64 records; its time per byte should match the small one's), the same
# for the processor time (user + system), which a busy machine or the disk
# sways less, and the peak resident memory of every run.
# usage: bench/large_entry_bench.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?build directory with ZARLIB_BUILD_BENCHMARKS=ON}
runs=${2:-1}
# Gigabytes: on the disk's temporary folder unless TMPDIR names another
# (TMPDIR=/dev/shm keeps the system's write-back out of the figures).
work=$(mktemp -d "${TMPDIR:-/tmp}/large-entry-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One MiB of mixed bytes (words with numbers, and a stretch of noise),
# repeated: farther apart than the compressor's window, so every repeat is
# coded anew.
python3 - "$work/block" <<'PY'
import random, sys
random.seed(7)
words = "archive entry header record volume deflate window match literal".split()
text = " ".join(f"{random.choice(words)}{random.randrange(1000)}" for _ in range(90000)).encode()
noise = bytes(random.randrange(256) for _ in range(1 << 18))
open(sys.argv[1], "wb").write((text + noise)[: 1 << 20])
PY
for size in 1 5; do
  mkdir -p "$work/in$size"
  for _ in $(seq $((size * 1024))); do cat "$work/block"; done > "$work/in$size/data.bin"
done

# "WALL_MICROSECONDS PEAK_KB USER_SECONDS SYSTEM_SECONDS" of one run of CMD
measure() {
  local t0 t1
  t0=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$work/rss" "$@" > /dev/null
  t1=$(date +%s%N)
  read -r kb user system < "$work/rss"
  echo "$(( (t1 - t0) / 1000 )) $kb $user $system"
}
declare -A best
keep() {  # the fastest run of each kind
  local key=$1 value=$2
  if [ -z "${best[$key]:-}" ] || [ "${value%% *}" -lt "${best[$key]%% *}" ]; then best[$key]=$value; fi
}
for _ in $(seq "$runs"); do
  for size in 1 5; do
    rm -rf "$work/a$size.zip" "$work/out$size"
    keep "zip$size" "$(measure "$build/bench/zip_archive" "$work/a$size.zip" "$work/in$size")"
    keep "test$size" "$(measure "$build/bench/unzip_archive" -t "$work/a$size.zip")"
    keep "unzip$size" "$(measure "$build/bench/unzip_archive" "$work/a$size.zip" "$work/out$size")"
    cmp "$work/in$size/data.bin" "$work/out$size/data.bin"
  done
done
unzip -tq "$work/a5.zip" > /dev/null

printf 'one file of 1 GiB and one of 5 GiB, the best of %d runs (whole process)\n' "$runs"
for job in zip test unzip; do
  read -r t1 r1 u1 s1 <<< "${best[${job}1]}"
  read -r t5 r5 u5 s5 <<< "${best[${job}5]}"
  printf '  %-6s 1 GiB %6.2f s (user %6.2f sys %5.2f) %6d KB   5 GiB %6.2f s (user %6.2f sys %5.2f) %6d KB\n' \
    "$job" "$(echo "$t1 / 1000000" | bc -l)" "$u1" "$s1" "$r1" "$(echo "$t5 / 1000000" | bc -l)" "$u5" "$s5" "$r5"
  printf '         per byte, 5 GiB over 1 GiB: wall %.3f  user %.3f  user+sys %.3f\n' \
    "$(echo "$t5 / 5 / $t1" | bc -l)" "$(echo "$u5 / 5 / $u1" | bc -l)" \
    "$(echo "($u5 + $s5) / 5 / ($u1 + $s1)" | bc -l)"
done
