#!/usr/bin/env bash
# The failure path with a real window: a printer that is listed but cannot be
# opened gives the message box, then Form1 with both fields filled in, and
# the process ends only when Form1 is closed, with status 2. Nothing is
# printed -- in particular not on "ZebraO", which a best-fit conversion of
# "ZebraΩ" would have opened.
#
# Wine lists the queue "ZebraΩ" (Unicode) but Ω has no code in Windows-1252,
# Wine's ANSI code page, so OpenPrinterA gets "Zebra?" and fails, as on
# Windows for any printer whose name the ANSI code page cannot spell.
source "$(dirname "$0")/lib.sh"
start_xvfb
start_cups 'ZebraΩ' ZebraO Virtual

# Sends a key to the window under the pointer, up to three times, until the
# window is gone.
press_until_gone() {  # WINDOW KEY
  local attempt i
  for attempt in 1 2 3; do
    xdotool mousemove --window "$1" 40 8 click 1 key "$2" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
      xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
      xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
      sleep 0.1
    done
  done
  return 1
}

alive() { kill -0 "$LAUNCH_PID" 2>/dev/null; }

# Checks one failure run; the window's fields must show TEXT1 and TEXT2.
check_failure_run() {  # NAME COMMAND_LINE TEXT1 TEXT2
  local name=$1
  echo "--- $name: $2"
  start_exact "$2"

  local box form
  if ! box=$(wait_for_window PloxWen); then
    fail "$name: no message box"
    wait "$LAUNCH_PID" || true
    return
  fi
  local seen
  seen=$(probe window PloxWen)
  echo "$seen"
  expect_eq "$name: message text" "The Printer Name you typed wasn't recognized." \
    "$(sed -n 's/^child Static id=65535 .*visible text=//p' <<<"$seen")"
  expect_eq "$name: one button, OK" "OK" "$(grep '^child Button' <<<"$seen" | grep ' visible ' | sed 's/.*text=//')"
  if grep -q ' icon-shown' <<<"$seen"; then fail "$name: message box shows an icon"; else pass "$name: no icon"; fi
  if xdotool search --onlyvisible --name '^Ploxwen$' 2>/dev/null |
    while read -r id; do [[ "$(xdotool getwindowname "$id")" == Ploxwen ]] && exit 0; done; then
    fail "$name: Form1 shown before the message was dismissed"
  else
    pass "$name: Form1 not shown while the message is up"
  fi
  sleep 0.5  # let it paint; only the screenshot depends on this
  import -window root "$ARTIFACTS/$name-message-box.png"

  press_until_gone "$box" Return || fail "$name: message box did not go away"
  if ! form=$(wait_for_window Ploxwen); then
    fail "$name: Form1 not shown after the message"
    wait "$LAUNCH_PID" || true
    return
  fi
  seen=$(probe window Ploxwen)
  echo "$seen"
  local dpi_x dpi_y
  read -r _ dpi_x dpi_y < <(grep '^dpi ' <<<"$seen")
  [[ "$name" != dpi144 ]] || expect_eq "$name: window drawn at 144 dpi" "144 144" "$dpi_x $dpi_y"
  px() { echo $((($1 * $2 + 720) / 1440)); }  # twips to pixels at DPI, rounded
  expect_eq "$name: client area 6495 x 3270 twips" "client $(px 6495 "$dpi_x") $(px 3270 "$dpi_y")" \
    "$(grep '^client ' <<<"$seen")"
  expect_eq "$name: exactly two controls" 2 "$(grep -c '^child ' <<<"$seen")"
  expect_eq "$name: Text1 first, placed, holding the printer name" \
    "child Edit id=101 x=$(px 840 "$dpi_x") y=$(px 600 "$dpi_y") w=$(px 1935 "$dpi_x") h=$(px 615 "$dpi_y") tabstop visible text=$3" \
    "$(grep '^child ' <<<"$seen" | sed -n 1p)"
  expect_eq "$name: Text2 second, placed, holding the data" \
    "child Edit id=102 x=$(px 3960 "$dpi_x") y=$(px 600 "$dpi_y") w=$(px 1815 "$dpi_x") h=$(px 615 "$dpi_y") tabstop visible text=$4" \
    "$(grep '^child ' <<<"$seen" | sed -n 2p)"
  expect_eq "$name: focus starts in Text1" "focus id=101" "$(grep '^focus ' <<<"$seen")"
  sleep 0.5  # let it paint; only the screenshot depends on this
  import -window root "$ARTIFACTS/$name-form1.png"
  xdotool mousemove --window "$form" 40 8 click 1 key Tab
  expect_eq "$name: Tab moves to Text2" "focus id=102" "$(probe window Ploxwen | grep '^focus ')"
  # Wine hands the window's icon to X as ARGB pixels: our artwork's orange
  # (#f6ad55) and body (#3b4a5a) must be among them, not Wine's default.
  local icon
  icon=$(xprop -id "$form" -f _NET_WM_ICON 32c _NET_WM_ICON 2>/dev/null | tr ', ' '\n\n')
  if grep -qx $((0xfff6ad55)) <<<"$icon" && grep -qx $((0xff3b4a5a)) <<<"$icon"; then
    pass "$name: window carries PloxWen's icon"
  else
    fail "$name: window lacks PloxWen's icon"
  fi

  if alive; then pass "$name: still running while Form1 is open"; else fail "$name: ended before Form1 was closed"; fi
  press_until_gone "$form" alt+F4 || fail "$name: Form1 did not close"
  local status=0
  wait "$LAUNCH_PID" || status=$?
  expect_eq "$name: exit status once Form1 is closed" 2 "$status"
}

check_failure_run unopenable 'PloxWen.exe ZebraΩ¦HELLO Ä€ "quoted"  two  spaces' \
  'ZebraΩ' 'HELLO Ä€ "quoted"  two  spaces'
# No separator: Text2 stays empty, as its assignment failed.
check_failure_run no-data 'PloxWen.exe ZebraΩ' 'ZebraΩ' ''

# At 144 dots per inch the same twips make half as many pixels again.
set_dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
set_dpi 144
wineserver -w
check_failure_run dpi144 'PloxWen.exe ZebraΩ¦144 dpi' 'ZebraΩ' '144 dpi'
set_dpi 96

expect_eq "nothing reached any queue" "" "$(jobs_received)"
finish
