#!/usr/bin/env bash
# The long local fuzzing run (not part of CI): builds the 'fuzz' preset and
# runs each fuzzer for a fixed number of executions on a scratch copy of its
# seed corpus, then prints the executions each one made and their total.
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

total=0
status=0
for fuzzer in intake_fuzzer codec_fuzzer load_sequence_fuzzer; do
  corpus=$work/$fuzzer/corpus
  rm -rf "${work:?}/$fuzzer"
  mkdir -p "$corpus"
  cp -R "fuzz/corpus/$fuzzer/." "$corpus/"
  log=$work/$fuzzer/log
  echo "=== $fuzzer: -runs=${runs[$fuzzer]}"
  if ! "build/fuzz/bin/$fuzzer" -runs="${runs[$fuzzer]}" -print_final_stats=1 \
      -artifact_prefix="$work/$fuzzer/" "$corpus" >"$log" 2>&1; then
    echo "$fuzzer FAILED, see $log"
    status=1
  fi
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$fuzzer executed ${executed:-0} inputs, corpus $(find "$corpus" -type f | wc -l) files"
  total=$((total + ${executed:-0}))
done
echo "total executions: $total"
exit "$status"
