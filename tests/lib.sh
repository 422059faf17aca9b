# shellcheck shell=bash
# Sourced by the shell tests (Wine, desktop, packages): strict mode, `fail`,
# bounded waits, Xvfb and a private cupsd, each stopped again on exit.
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
CUPSD=$SOURCE_DIR/scripts/private-cupsd.sh
# shellcheck disable=SC2034 # for the tests that source this file
BAR=$'\xc2\xa6' # U+00A6, the field separator
# shellcheck disable=SC2034 # for the tests that source this file
MESSAGE="The Printer Name you typed wasn't recognized."
WORK=$(mktemp -d /tmp/ploxwen-test.XXXXXX)
CLEANUPS=()

# Commands run on exit, last registered first.
on_exit() { CLEANUPS=("$1" "${CLEANUPS[@]}"); }
run_cleanups() {
  local command
  for command in "${CLEANUPS[@]}"; do eval "$command" >/dev/null 2>&1 || true; done
  rm -rf "$WORK"
}
trap run_cleanups EXIT
trap 'exit 130' INT TERM

fail() { echo "FAIL${CASE:+ [$CASE]}: $*" >&2; exit 1; }
expect_eq() { [[ "$2" == "$3" ]] || fail "$1: expected [$2], got [$3]"; } # WHAT EXPECTED ACTUAL

# Polls COMMAND every 0.1 s for at most SECONDS: a hang guard, not a timing.
wait_until() { # SECONDS COMMAND...
  local tries=$(($1 * 10))
  shift
  until "$@"; do ((--tries > 0)) && sleep 0.1 || return 1; done
}

# On a display of its own, away from :0; -noreset, or the server resets when
# its last client (a probing xdotool) leaves and refuses whoever comes next.
start_xvfb() { # [Xvfb options]
  local display=$((100 + RANDOM % 800))
  while [[ -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
  Xvfb ":$display" -nolisten tcp -noreset "$@" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  on_exit "kill $XVFB_PID; wait $XVFB_PID"
  export DISPLAY=:$display && unset WAYLAND_DISPLAY
  wait_until 10 eval 'xdpyinfo >/dev/null 2>&1' || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
}

# A private cupsd with raw queues that store what they get in $CUPS_DIR/out/QUEUE/JOB.
start_cupsd() { # QUEUE...
  CUPS_DIR=$(mktemp -d /tmp/ploxwen-cups.XXXXXX)
  on_exit "'$CUPSD' stop '$CUPS_DIR'; rm -rf '$CUPS_DIR'"
  eval "$("$CUPSD" start "$CUPS_DIR")"
  local queue
  for queue in "$@"; do "$CUPSD" add-queue "$CUPS_DIR" "$queue"; done
}

# The complete jobs the private cupsd stored, as QUEUE/JOB lines.
jobs_received() { (cd "$CUPS_DIR/out" && find . -type f -regex '.*/[0-9]+' | sed 's|^\./||' | sort); }
