#!/usr/bin/env bash
# Builds the library and its tests twice, plainly and under AddressSanitizer +
# UndefinedBehaviorSanitizer, and runs every test in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
# run DIR "CTEST ARGS" CMAKE ARGS...
run() {
  local dir=$1 select=$2; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j "$jobs"
  # shellcheck disable=SC2086
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure $select
}

# The tests labelled large (gigabytes of sparse archives) run once, in the
# plain build.
run build ""
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run build-asan "-LE large" -DZARLIB_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
