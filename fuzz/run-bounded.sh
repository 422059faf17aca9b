#!/usr/bin/env bash
# Runs one fuzzer for a bounded time on a scratch copy of its seed corpus.
# usage: run-bounded.sh FUZZER SEED_CORPUS SECONDS FINDINGS_DIR
set -euo pipefail
fuzzer=$1 seeds=$2 seconds=$3 findings=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -R "$seeds/." "$scratch/"
mkdir -p "$findings"

"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$findings/" "$scratch"
