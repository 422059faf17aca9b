#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the unit tests, the
# CUPS suite against a private cupsd (spooler faults included) and a few of
# its cases under valgrind, the Windows build under Wine, the desktop window
# under Xvfb and the packages; then the unit and CUPS tests again under
# AddressSanitizer and UBSan, and each fuzzer for a bounded time. Exits
# non-zero on any failure. Run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${PLOXWEN_SKIP_INSTALL:-0}" != 1 ]; then
  scripts/install-deps.sh
fi

jobs=$(nproc)
status=0

run_preset() {
  local preset=$1
  echo "=== build and test: $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j 1 "${@:2}" || status=1
}

run_preset default
# Wine and window tests exercise no code of ours that the sanitizers see;
# valgrind does not run sanitized programs.
run_preset sanitize -LE 'wine|gui|valgrind'
# libFuzzer targets, each for a bounded time (only the tests labelled fuzz).
run_preset fuzz

if [ "$status" -ne 0 ]; then
  echo "SOME TESTS FAILED"
fi
exit "$status"
