#!/usr/bin/env bash
# Runs the save-loader fuzzers for a bounded time and fails on any crash, leak,
# sanitizer report or broken loader promise. Half the time goes to the whole
# file (save_fuzz, tens of inputs a second), the rest to the pieces it is made
# of (state_fuzz, cell_fuzz, cell_run_fuzz, many thousands a second).
# Usage: tests/fuzz/run.sh BUILD_DIR [SECONDS]   (BUILD_DIR configured with -DCLODMERE_FUZZ=ON)
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-60}
seeds=$(cd "$(dirname "$0")" && pwd)/seeds
piece_seconds=$((seconds / 6 > 0 ? seconds / 6 : 1))
whole_seconds=$((seconds - 3 * piece_seconds > 0 ? seconds - 3 * piece_seconds : 1))

# fuzz TARGET SECONDS MAX_LEN [SEED_DIR]: new inputs collect in the build
# folder and seed the next run; the committed seeds stay as they are.
fuzz() {
  local target=$1 time=$2 max_len=$3
  shift 3
  local corpus=$build/fuzz-corpus-$target log=$build/fuzz-$target.log status=0
  mkdir -p "$corpus"
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$build/tests/fuzz/$target" \
    -max_total_time="$time" -max_len="$max_len" -timeout=60 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-$target-" "$corpus" "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ] || grep -qE "runtime error|Sanitizer|_fuzz: " "$log"; then
    tail -n 80 "$log"
    echo "$target FAILED (exit $status); full log: $log; failing input: $build/fuzz-$target-*"
    exit 1
  fi
  local runs rate added
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log")
  echo "$target: $runs inputs in ${time} s ($rate a second, $added new), no crash, leak or sanitizer report"
}

# -max_len lets an input be a whole save file (9,677,080 bytes) and a little more.
fuzz save_fuzz "$whole_seconds" 9677144 "$seeds"
# The state section; one cell (3-byte place); a run (5-byte place and count, 512 records).
fuzz state_fuzz "$piece_seconds" 280
fuzz cell_fuzz "$piece_seconds" 31
fuzz cell_run_fuzz "$piece_seconds" 14341
