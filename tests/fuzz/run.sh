#!/usr/bin/env bash
# Runs the save-loader fuzzer for a bounded time and fails on any crash, leak,
# sanitizer report or broken loader promise.
# Usage: tests/fuzz/run.sh BUILD_DIR [SECONDS]   (BUILD_DIR configured with -DCLODMERE_FUZZ=ON)
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-60}
seeds=$(cd "$(dirname "$0")" && pwd)/seeds

# New inputs collect in the build folder and seed the next run; the committed seeds stay as they are.
corpus=$build/fuzz-corpus
log=$build/fuzz.log
mkdir -p "$corpus"
# -max_len lets an input be a whole save file (9,677,080 bytes) and a little more.
status=0
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$build/tests/fuzz/save_fuzz" \
  -max_total_time="$seconds" -max_len=9677144 -timeout=60 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz-" "$corpus" "$seeds" >"$log" 2>&1 || status=$?

if [ "$status" -ne 0 ] || grep -qE "runtime error|Sanitizer|save_fuzz: " "$log"; then
  tail -n 80 "$log"
  echo "save_fuzz FAILED (exit $status); full log: $log; failing input: $build/fuzz-*"
  exit 1
fi
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
added=$(sed -n 's/^stat::new_units_added: *//p' "$log")
echo "save_fuzz: $runs inputs in ${seconds} s ($rate a second, $added new), no crash, leak or sanitizer report"
