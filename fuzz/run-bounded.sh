#!/usr/bin/env bash
# Runs one fuzzer for a bounded time on a scratch copy of its seed corpus.
# usage: run-bounded.sh FUZZER SEED_CORPUS SECONDS FINDINGS_DIR
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -R "$2/." "$scratch/" && mkdir -p "$4"
"$1" -max_total_time="$3" -print_final_stats=1 -artifact_prefix="$4/" "$scratch"
