#!/usr/bin/env bash
# A long fuzzing campaign for a maintainer: each target runs until it has
# tried RUNS inputs (10 million by default) on one core, at low priority, and
# the run stops at the first crash, leak, sanitizer report or broken promise.
# Inputs found worth keeping stay in BUILD_DIR/fuzz-corpus-TARGET and seed
# tests/fuzz/run.sh next time. The whole-file target manages about 25 inputs
# a second, so it is left out unless named.
# Usage: tests/fuzz/campaign.sh BUILD_DIR [RUNS] [TARGET...]
#   (default targets: state_fuzz cell_fuzz cell_run_fuzz)
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-10000000}
shift $(($# >= 2 ? 2 : 1))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(state_fuzz cell_fuzz cell_run_fuzz)
seeds=$(cd "$(dirname "$0")" && pwd)/seeds

status=0
for target in "${targets[@]}"; do
  case $target in
    save_fuzz) max_len=9677144 extra=("$seeds") ;;
    state_fuzz) max_len=280 extra=() ;;
    cell_fuzz) max_len=31 extra=() ;;
    cell_run_fuzz) max_len=14341 extra=() ;;
    *) echo "campaign: unknown target $target" >&2; exit 2 ;;
  esac
  corpus=$build/fuzz-corpus-$target
  log=$build/campaign-$target.log
  mkdir -p "$corpus"
  started=$(date +%s)
  result=0
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 nice "$build/tests/fuzz/$target" \
    -runs="$runs" -max_len="$max_len" -timeout=60 -print_final_stats=1 \
    -artifact_prefix="$build/campaign-$target-" "$corpus" "${extra[@]}" >"$log" 2>&1 || result=$?
  seconds=$(($(date +%s) - started))
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log")
  if [ "$result" -ne 0 ] || grep -qE "runtime error|Sanitizer|_fuzz: " "$log"; then
    echo "$target: FINDING after ${seconds} s (exit $result); log: $log; input: $build/campaign-$target-*"
    status=1
  else
    echo "$target: ${done_runs:-?} inputs in ${seconds} s (${rate:-?} a second, ${added:-?} new), nothing found"
  fi
done
exit "$status"
