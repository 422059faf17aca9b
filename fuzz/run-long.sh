#!/usr/bin/env bash
# The long local fuzzing run (not part of CI): builds the 'fuzz' preset and
# runs each fuzzer for a fixed number of executions on a scratch copy of its
# seed corpus, two at a time, then prints the executions each one made and
# their total.
# usage: fuzz/run-long.sh [WORK_DIR]   (default build/fuzz/long)
# Override the counts with INTAKE_RUNS, CODEC_RUNS, LOAD_RUNS.
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-build/fuzz/long}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 --target intake_fuzzer codec_fuzzer load_sequence_fuzzer

declare -A runs=(
  [intake_fuzzer]=${INTAKE_RUNS:-4000000}
  [codec_fuzzer]=${CODEC_RUNS:-1500000}
  [load_sequence_fuzzer]=${LOAD_RUNS:-5000000}
)

run_one() {
  local fuzzer=$1
  local corpus=$work/$fuzzer/corpus
  rm -rf "${work:?}/$fuzzer"
  mkdir -p "$corpus"
  cp -R "fuzz/corpus/$fuzzer/." "$corpus/"
  echo "=== build/fuzz/bin/$fuzzer -runs=${runs[$fuzzer]} -print_final_stats=1 $corpus"
  "build/fuzz/bin/$fuzzer" -runs="${runs[$fuzzer]}" -print_final_stats=1 \
    -artifact_prefix="$work/$fuzzer/" "$corpus" >"$work/$fuzzer/log" 2>&1
}

# Two cores: the codec fuzzer on one, the intake and then the load-sequence
# fuzzer on the other.
status=0
run_one codec_fuzzer &
codec=$!
{ run_one intake_fuzzer && run_one load_sequence_fuzzer; } &
others=$!
wait "$codec" || status=1
wait "$others" || status=1

total=0
for fuzzer in intake_fuzzer codec_fuzzer load_sequence_fuzzer; do
  log=$work/$fuzzer/log
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if grep -q 'ERROR: libFuzzer\|invariant broken\|runtime error' "$log"; then
    echo "$fuzzer FOUND SOMETHING, see $log"
    status=1
  fi
  echo "$fuzzer: ${executed:-0} executions, corpus $(find "$work/$fuzzer/corpus" -type f | wc -l) files"
  total=$((total + ${executed:-0}))
done
echo "total executions: $total"
exit "$status"
