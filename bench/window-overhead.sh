#!/usr/bin/env bash
# Start-up cost of window support on the path scripts take: a printer name
# that matches nothing (status 1), with a display present as on a desktop.
# Compares a build with the window module against one without any
# (PLOXWEN_WINDOW_MODULE=OFF) and prints the ratio of the mean run times.
#
# usage: bench/window-overhead.sh [runs]     (from the source tree; builds
#        build/bench-window and build/bench-nowindow, release, no tests)
set -uo pipefail

RUNS=${1:-2000}
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
WORK=$(mktemp -d /tmp/ploxwen-bench.XXXXXX)
CUPSD=$SOURCE_DIR/scripts/private-cupsd.sh XVFB_PID=""
cleanup() {
    "$CUPSD" stop "$WORK/cups"
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "window-overhead: $*" >&2; exit 1; }

build() {  # dir window-module
    { cmake -S "$SOURCE_DIR" -B "$SOURCE_DIR/build/$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DPLOXWEN_BUILD_TESTS=OFF -DPLOXWEN_WINDOW_MODULE="$2" >/dev/null &&
        cmake --build "$SOURCE_DIR/build/$1" -j2 >/dev/null; } || fail "build $1 failed"
}
build bench-window ON
build bench-nowindow OFF
WITH=$SOURCE_DIR/build/bench-window/bin/ploxwen
WITHOUT=$SOURCE_DIR/build/bench-nowindow/bin/ploxwen

"$CUPSD" start "$WORK/cups" >/dev/null || fail "cupsd did not start"
"$CUPSD" add-queue "$WORK/cups" Receipt || fail "cannot add the queue Receipt"
Xvfb -displayfd 3 -nolisten tcp 3>"$WORK/displayfd" 2>/dev/null &
XVFB_PID=$!
for _ in $(seq 100); do [ -s "$WORK/displayfd" ] && break; sleep 0.1; done
[ -s "$WORK/displayfd" ] || fail "Xvfb did not start"
DISPLAY=:$(head -n1 "$WORK/displayfd")
export DISPLAY CUPS_SERVER=$WORK/cups/cups.sock LC_ALL=C.UTF-8
ARG="No Such Printer"$'\xc2\xa6'"data"

timeout -s KILL 3 "$WITH" "$ARG" 2>/dev/null
status=$?  # 137: killed while a window was up
if [ "$status" != 1 ]; then
    # Only the printing backend can reach status 1; without it every run
    # takes the failure path, which would open a window here.
    echo "note: status $status, not 1 (the CUPS backend lists no printers);" \
        "measuring the failure path without a display instead" >&2
    unset DISPLAY
fi

# Rounds alternate which build goes first, so that load from other work on
# the machine falls on both alike; each round yields a ratio of medians and
# the result is the median of those ratios.
ROUNDS=${ROUNDS:-10}
: >"$WORK/ratios"
for round in $(seq "$ROUNDS"); do
    a=$WITHOUT b=$WITH
    [ $((round % 2)) == 0 ] && a=$WITH b=$WITHOUT
    hyperfine -N --warmup 50 --runs "$((RUNS / ROUNDS))" -i --style none --export-csv "$WORK/round.csv" \
        "$a '$ARG'" "$b '$ARG'" >/dev/null 2>&1 || fail "hyperfine failed"
    # Columns: command, mean, stddev, median, user, system, min, max.
    # Wall time includes waiting for cupsd; user + system is the program's own CPU.
    awk -F, -v with="$WITH" 'NR > 1 {if (index($1, with) == 1) {w = $4; wc = $5 + $6} else {n = $4; nc = $5 + $6}}
        END {printf "%.1f %.1f %.4f %.1f %.1f %.4f\n", n * 1e6, w * 1e6, w / n, nc * 1e6, wc * 1e6, wc / nc}' \
        "$WORK/round.csv" >>"$WORK/ratios"
done
echo "per round (us): wall median without, with, ratio; cpu mean without, with, ratio"
cat "$WORK/ratios"
median_of() { sort -n -k"$1" "$WORK/ratios" | awk -v k="$1" '{r[NR] = $k}
    END {m = (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2; printf "%.4f (%+.2f%%)", m, (m - 1) * 100}'; }
echo "runs per build: $RUNS in $ROUNDS rounds"
echo "wall time, median ratio with/without: $(median_of 3)"
echo "cpu time,  median ratio with/without: $(median_of 6)"
