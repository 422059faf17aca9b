#!/usr/bin/env bash
# The failure message and Form1 on a real X server (Xvfb), and the runs that
# must never load a GUI library.
# usage: desktop_test.sh CASE BUILD_DIR; screenshots go to BUILD_DIR/artifacts/gui.
CASE=$1
source "$(dirname "$0")/../lib.sh"
BUILD=$(cd "$2" && pwd)
SHOTS=$BUILD/artifacts/gui
mkdir -p "$SHOTS" "$WORK/app/bin" "$WORK/app/lib/ploxwen"
# The program beside the test copy of the window module, which dumps what
# its widgets hold to PLOXWEN_TEST_DUMP_DIR.
cp "$BUILD/bin/ploxwen" "$WORK/app/bin/"
cp "$BUILD/test-copy/ploxwen-window.so" "$WORK/app/lib/ploxwen/"
PLOXWEN=$WORK/app/bin/ploxwen
# Sanitizer builds: the X11 font stack's lifetime caches are not leaks of ours.
export LSAN_OPTIONS=suppressions=$SOURCE_DIR/tests/gui/lsan.supp:print_suppressions=0

# Starts a run whose selection fails (no spooler to reach), so the failure
# path runs; sets APP_PID. Dumps go to $WORK/dump.
start_failing_run() { # ARGUMENT...
  rm -rf "$WORK/dump" && mkdir "$WORK/dump"
  PLOXWEN_TEST_DUMP_DIR=$WORK/dump CUPS_SERVER=/nonexistent/cups.sock LC_ALL=C.UTF-8 \
    timeout -s KILL 120 "${RUN_PREFIX[@]}" "$PLOXWEN" "$@" >"$WORK/stdout" 2>"$WORK/stderr" &
  APP_PID=$!
  on_exit "kill -KILL $APP_PID"
}
RUN_PREFIX=(env)

running() { kill -0 "$APP_PID" 2>/dev/null; }
expect_status() { # STATUS: waits for the run to end
  wait_until 20 eval '! running' || fail "ploxwen still running"
  local status=0
  wait "$APP_PID" || status=$?
  expect_eq "exit status" "$1" "$status"
  expect_eq "stderr" "$NO_SERVER" "$(cat "$WORK/stderr")"
  [[ ! -s "$WORK/stdout" ]] || fail "output on stdout"
}
dumped() { cat "$WORK/dump/$1" 2>/dev/null; }

# The id of the visible window named exactly NAME (xdotool's search ignores case).
find_window() { # NAME
  local id
  for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    [[ "$(xdotool getwindowname "$id" 2>/dev/null)" == "$1" ]] && echo "$id" && return 0
  done
  return 1
}
wait_window() { # NAME
  local name=$1
  wait_until 30 eval 'find_window "$name" >/dev/null || ! running'
  running || fail "ploxwen ended before a window named $1 appeared: $(cat "$WORK/stderr")"
  find_window "$1" || fail "no window named $1"
}
# Focus is bounded per try: with no window manager, --sync can miss the change.
press() { # WINDOW KEY...
  local id=$1 try
  shift
  for try in 1 2 3; do timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null && break; done
  xdotool key "$@"
}
client_size() { xwininfo -id "$1" | awk '/^ *Width:/ {w=$2} /^ *Height:/ {h=$2} END {print w, h}'; }
close_form() { timeout 10 "$BUILD/bin/ploxwen_wm_close" "$1" || fail "Form1 does not take the window manager's close"; }

# Libraries the loader initialised in ploxwen's run (LD_DEBUG=libs).
expect_no_gui_libraries() {
  grep -q 'calling init: .*libc\.so' "$WORK"/ld.* || fail "no LD_DEBUG record of the run"
  ! grep -E 'calling init: .*(ploxwen-window|libfltk|libX11|libxcb)' "$WORK"/ld.* || fail "GUI libraries loaded"
}

case $CASE in
failure_path)
  start_xvfb -screen 0 1920x1080x24 -dpi 96
  long=$(head -c 40000 /dev/zero | tr '\0' Z) # Text2 past FLTK's default limit of 32767 bytes
  start_failing_run $'Bad\xffPrinter'"${BAR}data" "$long"
  box=$(wait_window PloxWen)
  expect_eq "box" "PloxWen|$MESSAGE" "$(dumped message.title)|$(dumped message.text)"
  ! find_window Ploxwen || fail "Form1 shown while the message box is up"
  import -window "$box" "$SHOTS/message-box.png"
  press "$box" Return
  form=$(wait_window Ploxwen)
  expect_eq "Form1 client size" "433 218" "$(client_size "$form")"
  xprop -id "$form" _NET_WM_ICON | grep -q 'Icon (37 x 33)' || fail "Form1 has no 37x33 icon"
  expect_eq "Text1, bytes that are not UTF-8 replaced" $'Bad\xef\xbf\xbdPrinter' "$(dumped form.text1)"
  expect_eq "Text2" "data $long" "$(dumped form.text2)"
  import -window "$form" "$SHOTS/form1.png"
  # Text1 has the focus, Tab goes on to Text2; Escape does not close Form1.
  press "$form" End 1 Tab End 2 Escape
  sleep 0.5
  running || fail "Escape closed Form1"
  close_form "$form"
  expect_status 2
  expect_eq "Text1 typed into" $'Bad\xef\xbf\xbdPrinter1' "$(dumped form.text1.closed)"
  expect_eq "Text2 typed into" "data ${long}2" "$(dumped form.text2.closed)"
  ;;
dpi_scaling)
  start_xvfb -screen 0 1920x1080x24 -dpi 192
  start_failing_run "Some Printer${BAR}data"
  press "$(wait_window PloxWen)" Escape # a one-button box closes on Escape too
  form=$(wait_window Ploxwen)
  expect_eq "Form1 at 192 DPI" "866 436" "$(client_size "$form")"
  import -window "$form" "$SHOTS/form1-192dpi.png"
  close_form "$form"
  expect_status 2
  ;;
no_window)
  # No display, a display nobody serves, and a live one without the module:
  # status 2 at once, the message on stderr only.
  (
    unset DISPLAY
    RUN_PREFIX=(env LD_DEBUG=libs LD_DEBUG_OUTPUT="$WORK/ld")
    start_failing_run "Some Printer${BAR}data"
    expect_status 2
    expect_no_gui_libraries
  )
  DISPLAY=:4711 start_failing_run "Some Printer${BAR}data"
  expect_status 2
  start_xvfb
  rm "$WORK/app/lib/ploxwen/ploxwen-window.so"
  start_failing_run "Some Printer${BAR}data"
  expect_status 2
  [[ -z "$(ls "$WORK/dump")" ]] || fail "a window was shown"
  ;;
display_lost)
  # Xlib would exit(1), which would claim that no printer matched.
  start_xvfb
  start_failing_run "Some Printer${BAR}data"
  press "$(wait_window PloxWen)" Return
  wait_window Ploxwen >/dev/null
  kill "$XVFB_PID"
  wait_until 20 eval '! running' || fail "ploxwen hangs without its display"
  status=0
  wait "$APP_PID" || status=$?
  expect_eq "exit status with the display gone" 2 "$status"
  ;;
success_path)
  start_xvfb
  start_cupsd Receipt
  status=0
  LC_ALL=C.UTF-8 LD_DEBUG=libs LD_DEBUG_OUTPUT="$WORK/ld" "$PLOXWEN" "No Such Printer${BAR}data" \
    >"$WORK/out" 2>&1 || status=$?
  expect_eq "a name that matches nothing: status" 1 "$status"
  [[ ! -s "$WORK/out" ]] || fail "a name that matches nothing is not silent: $(cat "$WORK/out")"
  expect_no_gui_libraries
  ;;
installed)
  cmake --install "$BUILD" --prefix "$WORK/prefix" >/dev/null
  module=$WORK/prefix/lib/ploxwen/ploxwen-window.so
  ! grep -q PLOXWEN_TEST_DUMP_DIR "$module" || fail "the installed window module has the test dump"
  grep -q PLOXWEN_TEST_DUMP_DIR "$WORK/app/lib/ploxwen/ploxwen-window.so" || fail "the test copy has no dump"
  start_xvfb
  PLOXWEN=$WORK/prefix/bin/ploxwen start_failing_run "Installed${BAR}copy"
  press "$(wait_window PloxWen)" Return
  close_form "$(wait_window Ploxwen)"
  expect_status 2
  ;;
*) fail "no such case" ;;
esac
echo "PASS [$CASE]"
