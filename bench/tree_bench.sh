#!/usr/bin/env bash
# The whole-archive table: zar next to zip and unzip on the benchmark corpus
# (a tree of about 21,000 small files and one 40 MB mixed file), each run a
# whole process on a memory file system. Rounds are interleaved (zar, then
# the peer, then zar again ...) so that a busy machine weighs on both alike;
# each figure is the median of the rounds. Prints the times, their ratio
# (zar / peer: below 1 is faster) and, for the tree, the system calls per
# file of one traced run of each program.
# usage: bench/tree_bench.sh BUILD_DIR CORPUS_DIR [ROUNDS]
#   BUILD_DIR   a build with tools/zar/zar (any build type; Release is fair)
#   CORPUS_DIR  holds tree/ and big.bin, as the corpus script makes them
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
corpus=$(cd "${2:?corpus directory with tree/ and big.bin}" && pwd)
rounds=${3:-5}
zar="$build/tools/zar/zar"
[ -x "$zar" ] || { echo "no $zar: build the zar target first" >&2; exit 2; }
source "$(dirname "$0")/timing.sh"
work=$(scratch_dir tree-bench)
trap 'rm -rf "$work"' EXIT

# The inputs are copied into memory too: no run waits for the disk.
cp -r "$corpus/tree" "$work/tree"
mkdir "$work/big" && cp "$corpus/big.bin" "$work/big/"
files=$(find "$work/tree" -type f | wc -l)

# microseconds of one run of CMD in directory DIR, its output discarded
once() {
  local dir=$1; shift
  local t0 t1
  t0=$(date +%s%N)
  (cd "$dir" && "$@" > /dev/null 2>&1)
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000 ))
}

# "OURS THEIRS": the medians of interleaved rounds. PREPARE runs before each
# run, untimed; DIR is where both run.
side_by_side() {
  local prepare=$1 dir=$2 ours=$3 theirs=$4
  local a=() b=()
  for _ in $(seq "$rounds"); do
    eval "$prepare"; a+=("$(once "$dir" $ours)")
    eval "$prepare"; b+=("$(once "$dir" $theirs)")
  done
  echo "$(printf '%s\n' "${a[@]}" | median) $(printf '%s\n' "${b[@]}" | median)"
}

# system calls per file of one run of CMD in DIR, to two decimals
calls_per_file() {
  local dir=$1; shift
  (cd "$dir" && strace -f -c -o "$work/strace" "$@" > /dev/null 2>&1) || true
  awk -v files="$files" '$NF == "total" { printf "%.2f", $(NF-2) / files }' "$work/strace"
}

# The archives every read run starts from, written once by each program.
(cd "$work/tree" && "$zar" add -q "$work/ours-tree.zip" . > /dev/null)
(cd "$work/tree" && zip -r -q -6 "$work/zip-tree.zip" .)
(cd "$work/big" && "$zar" add -q "$work/ours-big.zip" big.bin > /dev/null)
(cd "$work/big" && zip -q -6 "$work/zip-big.zip" big.bin)
unzip -tq "$work/ours-tree.zip" > /dev/null
unzip -tq "$work/ours-big.zip" > /dev/null

fresh_out='rm -rf "$work/out"; mkdir "$work/out"'
no_archive='rm -f "$work/new.zip"'
rows=()
row() {  # NAME "OURS THEIRS" PEER-COMMAND [CALLS-OURS CALLS-PEER]
  local name=$1 pair=$2 peer=$3 co=${4:-} cp=${5:-}
  read -r o t <<< "$pair"
  rows+=("$(printf '%-26s %9.3f s %9.3f s  %-20s %6.2f   %s' "$name" \
    "$(echo "$o / 1000000" | bc -l)" "$(echo "$t / 1000000" | bc -l)" "$peer" \
    "$(echo "$o / $t" | bc -l)" "${co:+$co vs $cp}")")
}

# Writing runs compress on every core unless ZARLIB_THREADS says otherwise.
one_thread="env ZARLIB_THREADS=1 $zar"
add_tree=$(side_by_side "$no_archive" "$work/tree" "$one_thread add -q $work/new.zip ." "zip -r -q -6 $work/new.zip .")
eval "$no_archive"; add_calls_ours=$(calls_per_file "$work/tree" $one_thread add -q "$work/new.zip" .)
eval "$no_archive"; add_calls_zip=$(calls_per_file "$work/tree" zip -r -q -6 "$work/new.zip" .)
row "add the tree, one thread" "$add_tree" "zip -r -q -6" "$add_calls_ours" "$add_calls_zip"
add_tree=$(side_by_side "$no_archive" "$work/tree" "$zar add -q $work/new.zip ." "zip -r -q -6 $work/new.zip .")
eval "$no_archive"; add_calls_ours=$(calls_per_file "$work/tree" "$zar" add -q "$work/new.zip" .)
row "add the tree, $(nproc) threads" "$add_tree" "zip -r -q -6" "$add_calls_ours" "$add_calls_zip"

extract_tree=$(side_by_side "$fresh_out" "$work/out" "$zar extract -q $work/ours-tree.zip" \
  "unzip -q $work/zip-tree.zip")
eval "$fresh_out"; x_ours=$(calls_per_file "$work/out" "$zar" extract -q "$work/ours-tree.zip")
eval "$fresh_out"; x_unzip=$(calls_per_file "$work/out" unzip -q "$work/zip-tree.zip")
row "extract the tree" "$extract_tree" "unzip -q" "$x_ours" "$x_unzip"

test_tree=$(side_by_side : "$work" "$zar test -q $work/ours-tree.zip" "unzip -tq $work/zip-tree.zip")
t_ours=$(calls_per_file "$work" "$zar" test -q "$work/ours-tree.zip")
t_unzip=$(calls_per_file "$work" unzip -tq "$work/zip-tree.zip")
row "test the tree" "$test_tree" "unzip -tq" "$t_ours" "$t_unzip"

row "add the 40 MB file" \
  "$(side_by_side "$no_archive" "$work/big" "$zar add -q $work/new.zip big.bin" "zip -q -6 $work/new.zip big.bin")" \
  "zip -q -6"
row "extract the 40 MB file" \
  "$(side_by_side "$fresh_out" "$work/out" "$zar extract -q $work/ours-big.zip" "unzip -q $work/zip-big.zip")" \
  "unzip -q"
row "test the 40 MB file" \
  "$(side_by_side : "$work" "$zar test -q $work/ours-big.zip" "unzip -tq $work/zip-big.zip")" "unzip -tq"

printf 'corpus: %d files in the tree, big.bin %d bytes; medians of %d interleaved rounds (whole processes, memory file system)\n' \
  "$files" "$(stat -c %s "$work/big/big.bin")" "$rounds"
printf '%-26s %11s %11s  %-20s %6s   %s\n' run zar peer "peer is" ratio "system calls per file, zar vs peer"
printf '%s\n' "${rows[@]}"
