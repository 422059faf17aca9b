#!/usr/bin/env bash
# The failure message and Form1 on a real X server (Xvfb), and the runs that
# must never touch the window module.
#
# usage: desktop_test.sh CASE BUILD_DIR SOURCE_DIR
#   CASE: failure_path | dpi_scaling | bad_input | no_display | display_lost | success_path |
#         installed | linkage
# Every case starts the servers it needs (Xvfb on a free display, a private
# cupsd) and stops them on exit. Screenshots go to BUILD_DIR/artifacts/gui.
set -uo pipefail

CASE=$1
BUILD_DIR=$(cd "$2" && pwd)
SOURCE_DIR=$(cd "$3" && pwd)
PLOXWEN=$BUILD_DIR/bin/ploxwen
WM_CLOSE=$BUILD_DIR/bin/ploxwen_wm_close
ARTIFACTS=$BUILD_DIR/artifacts/gui
MESSAGE="The Printer Name you typed wasn't recognized."
BAR=$'\xc2\xa6'  # U+00A6, the field separator

mkdir -p "$ARTIFACTS"
# For sanitizer builds: the X11 font stack's lifetime caches are not leaks of ours.
export LSAN_OPTIONS=suppressions=$SOURCE_DIR/tests/gui/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}
WORK=$(mktemp -d /tmp/ploxwen-gui.XXXXXX)
XVFB_PID="" APP_PID="" CUPSD_PID=""

cleanup() {
    for pid in $APP_PID $CUPSD_PID $XVFB_PID; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    # KEEP_WORK=1 keeps the dumps and logs of the last case in /tmp/kept-work.
    [ -n "${KEEP_WORK:-}" ] && rm -rf /tmp/kept-work && cp -r "$WORK" /tmp/kept-work
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL [$CASE]: $*" >&2
    exit 1
}

# --- Servers ------------------------------------------------------------------

start_xvfb() {  # [dpi]
    local dpi=${1:-96}
    rm -f "$WORK/displayfd"
    # 1920 px at 96 or 192 DPI is a whole number of millimetres.
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -dpi "$dpi" -nolisten tcp -nolisten unix \
        3>"$WORK/displayfd" 2>"$WORK/xvfb.log" &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$WORK/displayfd" ] && break
        sleep 0.1
    done
    [ -s "$WORK/displayfd" ] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
    export DISPLAY=:$(head -n1 "$WORK/displayfd")
    unset WAYLAND_DISPLAY
}

# start_cupsd: a private cupsd with one raw queue, socket in $CUPS_SOCKET.
source "$SOURCE_DIR/tests/gui/private_cupsd.sh"

# --- The program ----------------------------------------------------------------

# Starts ploxwen in the background with the spooler unreachable, so the
# selection fails and the failure path runs. Field dumps go to $WORK/dump.
# RUN_ENV (an array of NAME=value) goes to ploxwen alone, not to the tools
# around it.
RUN_ENV=()
start_failing_run() {
    rm -rf "$WORK/dump" && mkdir "$WORK/dump"
    PLOXWEN_TEST_DUMP_DIR=$WORK/dump CUPS_SERVER=$WORK/no-cupsd-here.sock LC_ALL=C.UTF-8 \
        timeout -s KILL 120 env "${RUN_ENV[@]}" "$PLOXWEN" "$@" >"$WORK/stdout" 2>"$WORK/stderr" &
    APP_PID=$!
}

# Waits for the run to end and sets RUN_STATUS. A run that outlives
# `seconds` is killed and reported as a hang.
finish_run() {  # seconds
    local seconds=$1
    for _ in $(seq $((seconds * 10))); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$APP_PID" 2>/dev/null; then
        kill -KILL "$APP_PID"
        fail "ploxwen still running after ${seconds}s"
    fi
    wait "$APP_PID"
    RUN_STATUS=$?
    APP_PID=""
}

# Whether a mapped window is named exactly `name` (xdotool's own search
# ignores case, and "PloxWen" and "Ploxwen" must be told apart).
window_shown() {  # name
    local id
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" == "$1" ] && return 0
    done
    return 1
}

# Prints the id of the one visible window whose name is exactly `name`.
wait_window() {  # name seconds
    local name=$1 seconds=$2 id
    for _ in $(seq $((seconds * 10))); do
        for id in $(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null); do
            if [ "$(xdotool getwindowname "$id")" == "$name" ]; then
                echo "$id"
                return 0
            fi
        done
        kill -0 "$APP_PID" 2>/dev/null || fail "ploxwen ended before window '$name' appeared"
        sleep 0.1
    done
    fail "no window named '$name' within ${seconds}s"
}

wait_gone() {  # id seconds
    for _ in $(seq $(($2 * 10))); do
        xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable' || return 0
        sleep 0.1
    done
    fail "window $1 still shown after ${2}s"
}

expect_file() {  # file expected-bytes what
    [ -f "$1" ] || fail "$3: nothing dumped"
    local expected=$WORK/expected
    printf '%s' "$2" >"$expected"
    cmp -s "$1" "$expected" || fail "$3: got '$(head -c 200 "$1")' ($(wc -c <"$1") bytes), want '$(head -c 200 "$expected")' ($(wc -c <"$expected") bytes)"
}

expect_stderr_message() {
    expect_file "$WORK/stderr" "$MESSAGE"$'\n' "stderr"
    [ ! -s "$WORK/stdout" ] || fail "unexpected output on stdout: $(head -c 200 "$WORK/stdout")"
}

client_size() {  # id -> "W H"
    xwininfo -id "$1" | awk '/^ *Width:/ {w=$2} /^ *Height:/ {h=$2} END {print w, h}'
}

shoot() {  # id file
    import -window "$1" "$ARTIFACTS/$2" || fail "screenshot $2 failed"
}

# Libraries the dynamic loader mapped during ploxwen's run, from the
# LD_DEBUG=libs record of that one process.
expect_no_window_libraries() {  # ld-debug-file-prefix what
    local records found
    records=$(ls "$1".* 2>/dev/null)  # only ploxwen's process has LD_DEBUG set
    [ "$(echo "$records" | grep -c .)" == 1 ] || fail "$2: no single LD_DEBUG record of ploxwen ($records)"
    grep -q 'calling init: .*libc\.so' "$records" || fail "$2: LD_DEBUG recorded no start-up"
    found=$(grep -E 'calling init: .*(ploxwen-window|libfltk|libX11|libxcb)' "$records")
    [ -z "$found" ] || fail "$2 mapped window libraries: $found"
}

# --- Cases --------------------------------------------------------------------

case_failure_path() {
    start_xvfb 96
    start_failing_run "Some Printer${BAR}data text"

    local box form
    box=$(wait_window PloxWen 30)
    [ "$(xdotool getwindowname "$box")" == "PloxWen" ] || fail "message box title"
    expect_file "$WORK/dump/message.title" "PloxWen" "message box title (widget)"
    expect_file "$WORK/dump/message.text" "$MESSAGE" "message box text"
    expect_stderr_message  # written before the box is shown
    window_shown Ploxwen && fail "Form1 shown while the message box is up"
    shoot "$box" message-box.png

    xdotool windowfocus --sync "$box" && xdotool key Return
    wait_gone "$box" 10
    form=$(wait_window Ploxwen 30)
    [ "$(client_size "$form")" == "433 218" ] || fail "Form1 client size $(client_size "$form"), want 433 218"
    xprop -id "$form" _NET_WM_ICON | grep -q 'Icon (37 x 33)' || fail "Form1 has no 37x33 icon"
    expect_file "$WORK/dump/form.caption" "Ploxwen" "Form1 caption (widget)"
    expect_file "$WORK/dump/form.text1" "Some Printer" "Text1"
    expect_file "$WORK/dump/form.text2" "data text" "Text2"
    shoot "$form" form1.png

    # Editable, Text1 has the focus, Tab goes on to Text2; Escape does not close.
    xdotool windowfocus --sync "$form"
    xdotool key End && xdotool type --delay 20 "1"
    xdotool key Tab End && xdotool type --delay 20 "2"
    xdotool key Escape
    sleep 0.5
    xwininfo -id "$form" | grep -q 'Map State: IsViewable' || fail "Escape closed Form1"

    "$WM_CLOSE" "$form" || fail "cannot close Form1 the window manager's way"
    finish_run 20
    [ "$RUN_STATUS" == 2 ] || fail "status $status after closing Form1, want 2"
    expect_file "$WORK/dump/form.text1.closed" "Some Printer1" "Text1 after typing"
    expect_file "$WORK/dump/form.text2.closed" "data text2" "Text2 after Tab and typing"
    expect_stderr_message
}

case_dpi_scaling() {
    start_xvfb 192
    start_failing_run "Some Printer${BAR}data text"
    local box form status
    box=$(wait_window PloxWen 30)
    shoot "$box" message-box-192dpi.png
    xdotool windowfocus --sync "$box" && xdotool key Escape  # a one-button box also closes on Escape
    wait_gone "$box" 10
    form=$(wait_window Ploxwen 30)
    [ "$(client_size "$form")" == "866 436" ] || fail "Form1 at 192 DPI is $(client_size "$form"), want 866 436"
    shoot "$form" form1-192dpi.png
    "$WM_CLOSE" "$form" || fail "cannot close Form1"
    finish_run 20
    [ "$RUN_STATUS" == 2 ] || fail "status $RUN_STATUS, want 2"
}

case_bad_input() {
    start_xvfb 96
    # 128 KiB of data over two arguments (one argument may not exceed 128 KiB),
    # bytes that are not UTF-8 in the printer name and in the data.
    local half long printer data replacement=$'\xef\xbf\xbd'
    half=$(head -c 65536 /dev/zero | tr '\0' 'Z')
    printer=$'Bad\xff\xfeName'
    data=$'\xc3'"$half"
    start_failing_run "${printer}${BAR}${data}" "$half"

    local box form status
    box=$(wait_window PloxWen 30)
    xdotool windowfocus --sync "$box" && xdotool key Return
    wait_gone "$box" 10
    form=$(wait_window Ploxwen 60)
    expect_file "$WORK/dump/form.text1" "Bad${replacement}${replacement}Name" "Text1 with invalid bytes"
    expect_file "$WORK/dump/form.text2" "${replacement}${half} ${half}" "Text2 of 128 KiB"
    [ "$(wc -c <"$WORK/dump/form.text2")" -gt 131072 ] || fail "Text2 shorter than 128 KiB"
    shoot "$form" form1-bad-input.png
    # The window still answers: typing reaches the end of the long field.
    xdotool windowfocus --sync "$form" && xdotool key Tab End && xdotool type --delay 20 "!"
    "$WM_CLOSE" "$form" || fail "cannot close Form1"
    finish_run 30
    [ "$RUN_STATUS" == 2 ] || fail "status $RUN_STATUS, want 2"
    [ "$(tail -c 1 "$WORK/dump/form.text2.closed")" == "!" ] || fail "typing into the long Text2 was lost"
    expect_stderr_message
}

# Runs the failing run to its end without a window: status 2 at once, the
# message on stderr only.
expect_stderr_only_run() {  # what
    finish_run 20
    [ "$RUN_STATUS" == 2 ] || fail "$1: status $status, want 2"
    expect_stderr_message
    [ -z "$(ls "$WORK/dump")" ] || fail "$1: a window was shown ($(ls "$WORK/dump"))"
}

case_no_display() {
    # No display at all: the module is not even loaded.
    (
        unset DISPLAY WAYLAND_DISPLAY
        RUN_ENV=(LD_DEBUG=libs LD_DEBUG_OUTPUT="$WORK/ld")
        start_failing_run "Some Printer${BAR}data text"
        RUN_ENV=()
        expect_stderr_only_run "without DISPLAY"
        expect_no_window_libraries "$WORK/ld" "a run without DISPLAY"
    ) || exit 1

    # A display is named but no server answers.
    local free=99
    while [ -e "/tmp/.X11-unix/X$free" ] || [ -e "/tmp/.X$free-lock" ]; do free=$((free + 1)); done
    (
        export DISPLAY=:$free
        unset WAYLAND_DISPLAY
        start_failing_run "Some Printer${BAR}data text"
        expect_stderr_only_run "with DISPLAY=:$free and no server"
    ) || exit 1

    # Wayland only: this X11 module cannot open it.
    (
        unset DISPLAY
        export WAYLAND_DISPLAY=ploxwen-test-no-such-wayland
        start_failing_run "Some Printer${BAR}data text"
        expect_stderr_only_run "with WAYLAND_DISPLAY only"
    ) || exit 1

    # A live display, but the module is missing beside the executable.
    start_xvfb 96
    mkdir -p "$WORK/moved/bin"
    cp "$PLOXWEN" "$WORK/moved/bin/ploxwen"
    PLOXWEN=$WORK/moved/bin/ploxwen start_failing_run "Some Printer${BAR}data text"
    expect_stderr_only_run "without the module"
    window_shown PloxWen && fail "a window appeared without the module"
    return 0
}

case_display_lost() {
    # The X server goes away while the box, then while Form1, is shown.
    local stage box
    for stage in message form; do
        start_xvfb 96
        start_failing_run "Some Printer${BAR}data text"
        box=$(wait_window PloxWen 30)
        if [ $stage == form ]; then
            xdotool windowfocus --sync "$box" && xdotool key Return
            wait_window Ploxwen 30 >/dev/null
        fi
        kill "$XVFB_PID" && wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=""
        finish_run 20
        [ "$RUN_STATUS" == 2 ] || fail "display lost during the $stage: status $RUN_STATUS, want 2"
        [ "$(head -n1 "$WORK/stderr")" == "$MESSAGE" ] || fail "display lost: stderr $(head -c 200 "$WORK/stderr")"
    done
}

case_success_path() {
    start_xvfb 96
    start_cupsd
    local status
    CUPS_SERVER=$CUPS_SOCKET LC_ALL=C.UTF-8 \
        timeout -s KILL 10 env LD_DEBUG=libs LD_DEBUG_OUTPUT="$WORK/ld" "$PLOXWEN" "No Such Printer${BAR}data" >"$WORK/stdout" 2>"$WORK/stderr"
    status=$?
    [ "$status" == 1 ] || fail "a name that matches no printer: status $status, want 1 (stderr: $(cat "$WORK/stderr"))"
    [ ! -s "$WORK/stdout" ] && [ ! -s "$WORK/stderr" ] || fail "a name that matches nothing is not silent"
    expect_no_window_libraries "$WORK/ld" "a run with no matching printer"
    window_shown PloxWen && fail "a window appeared on the success path"
    return 0
}

case_installed() {
    local prefix=$WORK/prefix
    cmake --install "$BUILD_DIR" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
    [ -x "$prefix/bin/ploxwen" ] || fail "no bin/ploxwen installed"
    [ -f "$prefix/lib/ploxwen/ploxwen-window.so" ] || fail "no lib/ploxwen/ploxwen-window.so installed"
    start_xvfb 96
    PLOXWEN=$prefix/bin/ploxwen start_failing_run "Installed${BAR}copy"
    local box form status
    box=$(wait_window PloxWen 30)
    xdotool windowfocus --sync "$box" && xdotool key Return
    form=$(wait_window Ploxwen 30)
    "$WM_CLOSE" "$form" || fail "cannot close Form1"
    finish_run 20
    [ "$RUN_STATUS" == 2 ] || fail "installed copy: status $RUN_STATUS, want 2"
}

case_linkage() {
    local needed
    needed=$(readelf -d "$PLOXWEN" | grep NEEDED) || fail "readelf failed"
    echo "$needed" | grep -Ei 'fltk|libX|xcb|ploxwen-window' && fail "ploxwen links window libraries"
    ldd "$PLOXWEN" | grep -Ei 'fltk|libX|xcb' && fail "ploxwen pulls in window libraries"
    local module=$BUILD_DIR/lib/ploxwen/ploxwen-window.so
    readelf -d "$module" | grep -q 'NEEDED.*libfltk' || fail "the module does not link FLTK"
    nm -D --defined-only "$module" | grep -qw ploxwen_window_module || fail "the module lacks its entry point"
    return 0
}

"case_$CASE"
echo "PASS [$CASE]"
