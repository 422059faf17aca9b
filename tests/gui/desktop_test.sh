#!/usr/bin/env bash
# The failure message and Form1 on a real X server (Xvfb), and the runs that must never
# load a GUI library. usage: desktop_test.sh CASE BUILD_DIR (screenshots: BUILD_DIR/artifacts/gui)
CASE=$1
source "$(dirname "$0")/../lib.sh"
BUILD=$(cd "$2" && pwd)
mkdir -p "$BUILD/artifacts/gui" "$WORK/app/bin" "$WORK/app/lib/ploxwen"
# The program beside the test copy of the window module, which dumps its widgets' texts.
cp "$BUILD/bin/ploxwen" "$WORK/app/bin/"
cp "$BUILD/test-copy/ploxwen-window.so" "$WORK/app/lib/ploxwen/"
PLOXWEN=$WORK/app/bin/ploxwen
export LSAN_OPTIONS=suppressions=$SOURCE_DIR/tests/gui/lsan.supp:print_suppressions=0 # X11 font caches

# A run in the background, by default one whose selection fails (no spooler); sets APP_PID.
start_run() { # ARGUMENT...
  rm -rf "$WORK/dump" "$WORK"/ld.* && mkdir "$WORK/dump"
  PLOXWEN_TEST_DUMP_DIR=$WORK/dump CUPS_SERVER=${SERVER:-/nonexistent/cups.sock} LC_ALL=C.UTF-8 LD_DEBUG=libs \
    LD_DEBUG_OUTPUT="$WORK/ld" timeout -s KILL 60 "$PLOXWEN" "$@" >"$WORK/stdout" 2>"$WORK/stderr" &
  APP_PID=$!
  on_exit "kill -KILL $APP_PID"
}
expect_status() { # STATUS [STDERR]: how the run ends; nothing on stdout, the message first on stderr
  local status=0
  wait "$APP_PID" || status=$?
  expect_eq "status|stdout|stderr" "$1||${2-$MESSAGE}" "$status|$(cat "$WORK/stdout")|$(head -n 1 "$WORK/stderr")"
}
dumped() { cat "$WORK/dump/$1" 2>/dev/null; }
find_window() { # NAME: the visible window named exactly so (xdotool's search ignores case)
  for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    [[ "$(xdotool getwindowname "$id" 2>/dev/null)" == "$1" ]] && echo "$id" && return 0
  done
  return 1
}
wait_window() { # NAME (one word)
  wait_until 30 eval "find_window $1 >/dev/null || ! kill -0 $APP_PID 2>/dev/null"
  find_window "$1" || fail "no window named $1: $(cat "$WORK/stderr")"
}
press() { # WINDOW KEY...: focus bounded per try, as with no window manager --sync can miss it
  for _ in 1 2 3; do timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null && break; done
  xdotool key "${@:2}"
}
case $CASE in
failure_path) # at 192 DPI, where Form1's 96-DPI layout doubles
  start_xvfb -screen 0 1920x1080x24 -dpi 192
  long=$(head -c 40000 /dev/zero | tr '\0' Z) # Text2 past FLTK's default limit of 32767 bytes
  start_run $'Bad\xffPrinter'"${BAR}data" "$long"
  box=$(wait_window PloxWen)
  expect_eq "box" "PloxWen|$MESSAGE" "$(dumped message.title)|$(dumped message.text)"
  ! find_window Ploxwen || fail "Form1 shown while the message box is up"
  import -window "$box" "$BUILD/artifacts/gui/message-box.png"
  press "$box" Return
  form=$(wait_window Ploxwen)
  expect_eq "Form1 client size" "866 436" "$(xwininfo -id "$form" | awk '/Width:/ {w=$2} /Height:/ {print w, $2}')"
  xprop -id "$form" _NET_WM_ICON | grep -q 'Icon (37 x 33)' || fail "Form1 has no 37x33 icon"
  expect_eq "Text1, bytes that are not UTF-8 replaced" $'Bad\xef\xbf\xbdPrinter' "$(dumped form.text1)"
  expect_eq "Text2" "data $long" "$(dumped form.text2)"
  import -window "$form" "$BUILD/artifacts/gui/form1.png"
  press "$form" End 1 Tab End Escape 2 # Text1 has the focus, Tab goes on, Escape does not close
  timeout 10 "$BUILD/bin/ploxwen_wm_close" "$form" || fail "Form1 does not take the window manager's close"
  expect_status 2
  expect_eq "Text1 typed into" $'Bad\xef\xbf\xbdPrinter1' "$(dumped form.text1.closed)"
  expect_eq "Text2 typed into" "data ${long}2" "$(dumped form.text2.closed)"
  ;;
no_window) # a name that matches nothing loads no GUI library; a silent display and no module show no window
  start_xvfb
  start_cupsd Receipt
  SERVER=$CUPS_SERVER start_run "No Such Printer${BAR}data"
  expect_status 1 'ploxwen: no printer named "No Such Printer"'
  grep -q 'calling init: .*libc\.so' "$WORK"/ld.* || fail "no LD_DEBUG record of the run"
  ! grep -E 'calling init: .*(ploxwen-window|libfltk|libX11|libxcb)' "$WORK"/ld.* || fail "GUI libraries loaded"
  # A display on 127.0.0.1 whose connections the kernel completes and no server ever reads (a stale DISPLAY).
  python3 -c 'import socket, time; s = socket.create_server(("127.0.0.1", 0))
print(s.getsockname()[1] - 6000, flush=True); time.sleep(600)' >"$WORK/silent" &
  on_exit "kill $!"
  wait_until 10 test -s "$WORK/silent" || fail "no silent display"
  DISPLAY=127.0.0.1:$(cat "$WORK/silent") start_run "Some Printer${BAR}data"
  expect_status 2
  expect_eq "cause" "ploxwen: server unreachable at /nonexistent/cups.sock" "$(tail -n +2 "$WORK/stderr")"
  rm "$WORK/app/lib/ploxwen/ploxwen-window.so"
  start_run "Some Printer${BAR}data"
  expect_status 2
  ;;
installed) # the installed module has no field dump; losing the display ends the run with 2, not Xlib's 1
  cmake --install "$BUILD" --prefix "$WORK/prefix" >/dev/null
  ! grep -q PLOXWEN_TEST_DUMP_DIR "$WORK/prefix/lib/ploxwen/ploxwen-window.so" || fail "installed module has the dump"
  grep -q PLOXWEN_TEST_DUMP_DIR "$WORK/app/lib/ploxwen/ploxwen-window.so" || fail "the test copy has no dump"
  start_xvfb
  PLOXWEN=$WORK/prefix/bin/ploxwen start_run "Installed${BAR}copy"
  press "$(wait_window PloxWen)" Escape # a one-button box closes on Escape too
  wait_window Ploxwen >/dev/null
  kill "$XVFB_PID"
  expect_status 2
  ;;
*) fail "no such case" ;;
esac
echo "PASS [$CASE]"
