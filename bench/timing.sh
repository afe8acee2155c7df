# Shared by the whole-process benchmark scripts (sourced, not run).
# `timeit CMD...` prints the median wall time in microseconds of $runs runs of
# CMD; a function `before_run`, when the script defines one, runs before each
# run, outside the timing.
# `scratch_dir NAME` makes a directory on a memory file system when there is
# one, so that file creation is timed rather than the disk.
scratch_dir() {
  local base=/dev/shm
  [ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
  mktemp -d "$base/$1.XXXXXX"
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
timeit() {
  for _ in $(seq "$runs"); do
    if declare -F before_run > /dev/null; then before_run; fi
    local t0 t1
    t0=$(date +%s%N)
    "$@" > /dev/null
    t1=$(date +%s%N)
    echo $(( (t1 - t0) / 1000 ))
  done | median
}
