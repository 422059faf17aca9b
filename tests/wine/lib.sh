# Shared by the Wine tests (sourced). Each test starts what it needs --
# Xvfb on a free display, a private cupsd -- and stops it on exit, also on
# failure; the Wine prefix is the fixture's, made once per run.
#
# Set by CTest: PLOXWEN_EXE_DIR (PloxWen.exe and the test tools),
# PLOXWEN_WINEPREFIX, PLOXWEN_ARTIFACTS (screenshots kept for CI),
# PLOXWEN_CUPSD (tests/cups/private-cupsd.sh).
set -euo pipefail

export LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${PLOXWEN_WINEPREFIX:?}"
unset DISPLAY PRINTER LPDEST
# Never the system's CUPS: until a test starts its own, Wine reaches none.
export CUPS_SERVER=/nonexistent/ploxwen-no-cupsd.sock

EXE_DIR="${PLOXWEN_EXE_DIR:?}"
ARTIFACTS="${PLOXWEN_ARTIFACTS:?}"
mkdir -p "$ARTIFACTS"
WORK="$(mktemp -d /tmp/ploxwen-wine.XXXXXX)"
XVFB_PID=""
CUPS_DIR=""
FAILURES=0

cleanup() {
  local status=$?
  # Wine processes of this prefix only; the prefix is private to the tests.
  wineserver -k 2>/dev/null || true
  if [[ -n "$CUPS_DIR" ]]; then "$PLOXWEN_CUPSD" stop "$CUPS_DIR" >/dev/null 2>&1 || true; fi
  if [[ -n "$XVFB_PID" ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK" "${CUPS_DIR:-}"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}
pass() { echo "ok: $*"; }

# Ends the test with the verdict of all checks so far.
finish() {
  if ((FAILURES > 0)); then
    echo "$FAILURES check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

expect_eq() {  # DESCRIPTION EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then pass "$1"; else fail "$1: expected [$2], got [$3]"; fi
}

start_xvfb() {
  local fd_file="$WORK/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -s "$fd_file" ]] && break
    kill -0 "$XVFB_PID" 2>/dev/null || { cat "$WORK/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$fd_file")"
}

# Starts a private cupsd and creates the raw queues named.
start_cups() {
  [[ -x "$PLOXWEN_CUPSD" ]] || { echo "private cupsd script missing: $PLOXWEN_CUPSD" >&2; exit 1; }
  CUPS_DIR="$(mktemp -d /tmp/ploxwen-cups.XXXXXX)"
  eval "$("$PLOXWEN_CUPSD" start "$CUPS_DIR")"
  local queue
  for queue in "$@"; do "$PLOXWEN_CUPSD" add-queue "$CUPS_DIR" "$queue" >/dev/null; done
}


# Runs PloxWen.exe with exactly COMMAND_LINE (program name included) through
# the launcher; sets STATUS. Extra environment may be given before, e.g.
# WINEDEBUG=+winspool run_exact ...; stderr goes to $WORK/stderr.
run_exact() {
  STATUS=0
  PLOXWEN_TEST_COMMAND_LINE="$1" timeout 120 wine "$EXE_DIR/ploxwen_launch.exe" 2>"$WORK/stderr" || STATUS=$?
}

# Starts the same in the background; sets LAUNCH_PID.
start_exact() {
  PLOXWEN_TEST_COMMAND_LINE="$1" timeout 300 wine "$EXE_DIR/ploxwen_launch.exe" 2>"$WORK/stderr" &
  LAUNCH_PID=$!
}

probe() { wine "$EXE_DIR/ploxwen_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }

# Every job's bytes the private cupsd stored, as "queue/job" lines.
jobs_received() {
  (cd "$CUPS_DIR/out" && find . -type f ! -name '*.meta' ! -name '*.part' | sed 's|^\./||' | sort)
}

# Waits (bounded; a hang guard, not a measurement) until the queue has
# stored COUNT complete jobs.
wait_for_jobs() {  # QUEUE COUNT
  local i
  for ((i = 0; i < 200; i++)); do
    local n
    n=$(find "$CUPS_DIR/out/$1" -type f ! -name '*.meta' ! -name '*.part' 2>/dev/null | wc -l)
    ((n >= $2)) && return 0
    sleep 0.1
  done
  return 1
}

# Waits for a visible X window named exactly NAME; prints its id.
wait_for_window() {  # NAME
  local i id
  for ((i = 0; i < 300; i++)); do
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      if [[ "$(xdotool getwindowname "$id" 2>/dev/null)" == "$1" ]]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}
