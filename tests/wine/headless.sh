#!/usr/bin/env bash
# Without any display: printing works all the same (the window system is
# never touched on that path), and the failure path, which cannot show its
# message or Form1, ends with status 2 instead of hanging.
source "$(dirname "$0")/lib.sh"
start_cups Virtual 'ZebraΩ'
[[ -z "${DISPLAY:-}" ]] || { echo "DISPLAY must be unset here" >&2; exit 1; }

run_exact 'PloxWen.exe Virtual¦NO DISPLAY'
expect_eq "prints without a display: status" 0 "$STATUS"
if wait_for_jobs Virtual 1; then
  expect_eq "prints without a display: bytes" "NO DISPLAY" "$(cat "$CUPS_DIR"/out/Virtual/1)"
else
  fail "prints without a display: no job arrived"
fi

run_exact 'PloxWen.exe ZebraΩ¦HELLO'
expect_eq "unopenable printer without a display ends: status" 2 "$STATUS"
expect_eq "unopenable printer without a display: nothing more sent" "Virtual/1" "$(jobs_received)"

finish
