#!/usr/bin/env bash
# PloxWen.exe under Wine: Wine's spooler in front of a private cupsd, Xvfb
# for the windows. One prefix serves every case of a run.
# usage: wine_test.sh CASE EXE_DIR PREFIX ARTIFACTS
#   CASE: prefix_setup | prefix_cleanup | exe | print | failure_window
CASE=$1
source "$(dirname "$0")/../lib.sh"
EXE_DIR=$2 SHOTS=$4
export WINEPREFIX=$3 WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 LC_ALL=C.UTF-8
export CUPS_SERVER=/nonexistent/cups.sock # never the system's CUPS
unset DISPLAY PRINTER LPDEST
mkdir -p "$SHOTS"
on_exit "wineserver -k"

# Runs exactly COMMAND_LINE (program name included; Wine's own start-up would
# re-quote it) through the test launcher; sets STATUS.
# With CAP_KIB set, files the Wine processes write stop at that size.
run_exact() {
  STATUS=0
  (
    trap '' XFSZ # a write past the cap comes back short instead of ending the process
    ulimit -f "${CAP_KIB:-unlimited}"
    PLOXWEN_TEST_COMMAND_LINE="$1" exec timeout 120 wine "$EXE_DIR/ploxwen_launch.exe"
  ) 2>"$WORK/stderr" || STATUS=$?
}
probe() { wine "$EXE_DIR/ploxwen_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }

# Runs COMMAND_LINE; checks the status and that the bytes of the file
# EXPECTED arrived on Virtual as one new job "Command Print", or with "-"
# that nothing arrived anywhere.
check() { # COMMAND_LINE STATUS EXPECTED
  local before new
  before=$(jobs_received)
  run_exact "$1"
  expect_eq "$1: status" "$2" "$STATUS"
  if [[ $3 == - ]]; then
    expect_eq "$1: jobs" "$before" "$(jobs_received)"
    return
  fi
  # shellcheck disable=SC2016 # eval expands it at each try
  wait_until 20 eval '[[ "$(jobs_received)" != "$before" ]]' || fail "$1: no job arrived"
  new=$(comm -13 <(echo "$before") <(jobs_received))
  expect_eq "$1: queue" Virtual "${new%/*}"
  cmp -s "$3" "$CUPS_DIR/out/$new" || fail "$1: got $(xxd -p "$CUPS_DIR/out/$new" | head -c 80)"
  grep -qx 'title=Command Print' "$CUPS_DIR/out/$new.meta" || fail "$1: document name"
}
bytes() { printf %b "$1" >"$WORK/expected" && echo "$WORK/expected"; }

case_prefix_setup() {
  [[ ! -d $WINEPREFIX ]] || wineserver -k || true
  rm -rf "$WINEPREFIX"
  wineboot -u && wineserver -w
  # Xvfb has no window manager: Wine manages its windows itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f && wineserver -w
}

case_prefix_cleanup() { rm -rf "$WINEPREFIX"; }

# As shipped: 32-bit GUI, Windows' own DLLs only (winspool bound at run time,
# the C++ runtime linked in), small, with its version resource, icon and manifest.
case_exe() {
  local exe=$EXE_DIR/PloxWen.exe headers imports resources
  headers=$(i686-w64-mingw32-objdump -p "$exe")
  expect_eq "PE32 magic, GUI subsystem" "010b 00000002" "$(awk '$1 == "Magic" || $1 == "Subsystem" {printf "%s ", $2}' <<<"$headers" | xargs)"
  imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u)
  grep -qx kernel32.dll <<<"$imports" || fail "import table not read"
  ! grep -vxE '(advapi32|gdi32|kernel32|msvcrt|shell32|user32)\.dll' <<<"$imports" || fail "imports $(xargs <<<"$imports")"
  # Windows XP SP3 starts it: headers asking for no later system, and only
  # functions its DLLs export (the list says why each is there).
  expect_eq "system versions asked for, at most XP's 5.1" "" "$(awk '/^Major(OSystem|Subsystem)Version/ && $2 > 5' <<<"$headers")"
  local functions missing
  functions=$(awk '/DLL Name:/ {dll = tolower($3); next} /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll, $3}' <<<"$headers" | sort -u)
  (($(wc -l <<<"$functions") > 50)) || fail "imported functions not read"
  missing=$(comm -23 <(echo "$functions") <(grep -v '^#' "$(dirname "$0")/xp-sp3-imports.txt" | sort -u))
  [[ -z $missing ]] || fail "imports what Windows XP SP3 lacks: $(xargs <<<"$missing")"
  (($(stat -c %s "$exe") <= 300 * 1024)) || fail "larger than 300 KiB"
  resources=$(i686-w64-mingw32-windres -i "$exe" -O rc)
  for line in 'FILEVERSION 1, 0, 0, 0' 'PRODUCTVERSION 1, 0, 0, 0' 'VALUE "FileVersion", "1.00"' \
    'VALUE "ProductVersion", "1.00"' 'VALUE "ProductName", "PloxWen"' 'VALUE "InternalName", "PloxWen"' \
    'VALUE "OriginalFilename", "PloxWen.exe"' 'Has 1 elements' '"\045\041\000\000", 1, 8,'; do
    grep -qF "$line" <<<"$resources" || fail "resources lack $line (an icon of 37 x 33 in 256 colours)"
  done
  # The manifest: Vista to 11 supported (no compatibility shims), aware of the system's DPI.
  for line in '1 24 /* RT_MANIFEST */' '<supportedOS Id=""{e2011457-1546-43c5-a5fe-008deee3d3f0}""/>' \
    '<supportedOS Id=""{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}""/>' '>true</dpiAware>'; do
    grep -qF "$line" <<<"$resources" || fail "manifest lacks $line"
  done
}

# The spooler calls of the last run_exact traced with +winspool, on the
# handles our OpenPrinterA got (Wine makes calls of its own on other handles).
spooler_calls() {
  awk '
    match($0, /OpenPrinter2W \(L"Virtual, Job [0-9]+"/) { job = substr($0, RSTART + 30, RLENGTH - 31) }
    /trace:winspool:OpenPrinter2A \("Virtual",/ { print "OpenPrinterA(\"Virtual\")"; opening = 1; depth = 0; next }
    opening && /OpenPrinter2W \(/ { depth++; next } # Wine opens the printer inside its own open
    opening && /OpenPrinter2W returning 1 / && --depth == 0 { handle = $NF; opening = 0; next }
    handle == "" { next }
    index($0, ":StartDocPrinterW (" handle ",") { sub(/.*StartDocPrinterW \([0-9A-Fa-f]+, /, ""); sub(/[0-9A-Fa-f]+ \{/, "{"); print "StartDocPrinter(" $0; next }
    index($0, ":SetJobW (" handle ",") { split($0, f, ", "); print "SetJobW(job " f[2] ", " f[5]; next }
    index($0, ":GetPrinterDriverW (" handle ",") { split($0, f, ","); print "GetPrinterDriverW(level " f[3] ")"; next }
    index($0, ":StartPagePrinter (" handle ")") { print "StartPagePrinter"; next }
    index($0, ":WritePrinter (" handle ",") { split($0, f, ", "); print "WritePrinter(" f[3] " bytes)"; next }
    index($0, ":EndPagePrinter (" handle ")") { print "EndPagePrinter"; next }
    index($0, ":EndDocPrinter (" handle ")") { print "EndDocPrinter"; next }
    index($0, ":GetJobW (" handle ",") { split($0, f, ", "); print "GetJobW(" (f[2] == job ? "its job" : "job " f[2]) ", level " f[3] ")"; next }
    index($0, ":ClosePrinter (" handle ")") { print "ClosePrinter"; handle = ""; next }' "$WORK/stderr"
}

case_print() {
  start_cupsd Virtual ZebraO 'ZebraΩ'
  # Control bytes as receipt printers use them, then every character of
  # Windows-1252, Wine's ANSI code page (but ¦ and the five without a code):
  # each must arrive as its one byte. Then printable Latin-1 up to the
  # command line's limit of 32767 characters.
  local b prefix='PloxWen.exe Virtual¦'
  for ((b = 1; b < 256; b++)); do
    [[ " 129 141 143 144 157 166 " == *" $b "* ]] || printf %b "\\x$(printf %02x $b)"
  done >"$WORK/raw"
  printf '\x1b@%s\x1dV\x01' "$(printf %b "$(<"$WORK/raw")")" >"$WORK/all"
  for ((b = 0; b < 200; b++)); do printf '%s' "$(tr -d '\000-\040\177-\237\246' <"$WORK/all")"; done >"$WORK/many"
  head -c $((32766 - ${#prefix})) "$WORK/many" >"$WORK/long"
  # Without any display: printing works, and the failure path, which cannot
  # show its message, ends with status 2 instead of hanging.
  check "$prefix$(iconv -f CP1252 -t UTF-8 "$WORK/all")" 0 "$WORK/all"
  check "$prefix$(iconv -f CP1252 -t UTF-8 "$WORK/long")" 0 "$WORK/long"
  check 'PloxWen.exe ZebraΩ¦HELLO' 2 -
  # Wine spools the document to a file of its own process, then hands that
  # file to CUPS at EndDocPrinter. Capped at 16 KiB, WritePrinter takes only
  # part of the bytes and says so; the job has existed since StartDocPrinter,
  # and CUPS prints the part: 4, never 3. The running server keeps its limit.
  head -c 16384 "$WORK/long" >"$WORK/head"
  wineserver -w && wineserver -p
  CAP_KIB=16 check "$prefix$(iconv -f CP1252 -t UTF-8 "$WORK/long")" 4 "$WORK/head"
  expect_eq "short write: cause" "ploxwen: WritePrinter took 16384 of $(stat -c %s "$WORK/long") bytes" "$(tr -d '\r' <"$WORK/stderr")"
  start_xvfb # a window could appear now; none may on these paths
  check 'PloxWen.exe Virtual¦Ω→' 0 "$(bytes '??')" # no best fit: Ω is not O
  check 'PloxWen.exe Virtual¦' 0 -                # CUPS refuses an empty document
  check 'PloxWen.exe   Virtual¦ a  "b"  ¦MORE' 0 "$(bytes ' a  "b"  ')"
  check '"PloxWen.exe" Virtual¦Q' 0 "$(bytes Q)"
  # One pair of quotes wrapping it all goes; no other quote or backslash rule.
  check 'PloxWen.exe "Virtual¦data x"  ' 0 "$(bytes 'data x')"
  # shellcheck disable=SC1003 # the backslashes are bytes's escapes: C:\dir\
  check 'PloxWen.exe "Virtual¦C:\dir\"' 0 "$(bytes 'C:\\dir\\')"
  check 'PloxWen.exe "Virtual"¦^FD"Hello World"^FS' 1 -
  check 'PloxWen.exe Virtual¦^FD"Hello World"^FS' 0 "$(bytes '^FD"Hello World"^FS')"
  # A quoted path with a space, the text right after it; a winspool.drv
  # planted beside the exe and preferred by Wine must not be loaded.
  mkdir "$WORK/a b" && cp "$EXE_DIR/PloxWen.exe" "$EXE_DIR/planted/winspool.drv" "$WORK/a b/"
  WINEDLLOVERRIDES="mscoree,mshtml=;winspool.drv=n,b" \
    check "\"Z:${WORK//\//\\}\\a b\\PloxWen.exe\"\"Virtual¦g h\"" 0 "$(bytes 'g h')"
  check 'PloxWen.exe virtual¦X' 1 - # CUPS and Wine would take it for Virtual
  expect_eq "status 1: cause" 'ploxwen: no printer named "virtual" (did you mean "Virtual"?)' "$(tr -d '\r' <"$WORK/stderr")"
  check 'PloxWen.exe' 1 -
  expect_eq "no argument: usage" $'ploxwen: no argument\nusage: ploxwen "PRINTER\xa6DATA" (see ploxwen(1))' "$(tr -d '\r' <"$WORK/stderr")"

  # PLOXWEN_DATA: every byte 00-FF from hex, a file by its path, standard input
  # from a file and from a pipe; PLOXWEN_CODEPAGE: text in code page 437.
  python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)))' >"$WORK/every"
  PLOXWEN_DATA=hex check "PloxWen.exe Virtual¦$(xxd -p "$WORK/every")" 0 "$WORK/every"
  PLOXWEN_DATA="file" check "PloxWen.exe Virtual¦Z:${WORK//\//\\}\\every" 0 "$WORK/every"
  # shellcheck disable=SC2094 # check only reads the file it compares with
  PLOXWEN_DATA=stdin PLOXWEN_TEST_STDIN=1 check "PloxWen.exe Virtual" 0 "$WORK/every" <"$WORK/every"
  head -c $((4 << 20)) /dev/urandom >"$WORK/piped"
  # shellcheck disable=SC2002 # a pipe, not a file, is what this case sends
  cat "$WORK/piped" | PLOXWEN_DATA=stdin PLOXWEN_TEST_STDIN=1 check "PloxWen.exe Virtual¦" 0 "$WORK/piped"
  PLOXWEN_CODEPAGE=437 check 'PloxWen.exe Virtual¦Grüße' 0 "$(bytes 'Gr\x81\xe1e')"
  PLOXWEN_DATA=hex check 'PloxWen.exe Virtual¦1b 70 0g' 64 -
  expect_eq "bad hex: cause" 'ploxwen: PLOXWEN_DATA=hex: not a hex digit at character 8' "$(tr -d '\r' <"$WORK/stderr")"
  PLOXWEN_DATA=stdin PLOXWEN_TEST_STDIN=1 check 'PloxWen.exe Virtual¦X' 64 - </dev/null
  # A file larger than a 32-bit process can hold is the program's own limit, not the printer's: 71.
  truncate -s 3G "$WORK/huge"
  PLOXWEN_DATA="file" check "PloxWen.exe Virtual¦Z:${WORK//\//\\}\\huge" 71 -
  [[ $(tr -d '\r' <"$WORK/stderr") == "ploxwen: PLOXWEN_DATA=file: cannot read "*huge:* ]] || fail "huge file: cause"
  rm -f "$WORK/huge"

  # The spooler calls in order, on the handles our OpenPrinterA got (Wine
  # makes calls of its own on other handles in between). Waiting, the job is
  # kept (SetJob's JOB_CONTROL_RETAIN, 8) right after its start and looked at
  # after ClosePrinter through one handle; Wine takes the request but forgets
  # the job once EndDocPrinter has handed it to CUPS, so its fate is unknown: 6.
  WINEDEBUG=+winspool run_exact 'PloxWen.exe Virtual¦PLAIN'
  expect_eq "traced run without a wait: status" 0 "$STATUS"
  expect_eq "spooler calls without a wait" 'OpenPrinterA("Virtual")
StartDocPrinter(1, {L"Command Print", (null), (null)})
StartPagePrinter
WritePrinter(5 bytes)
EndPagePrinter
EndDocPrinter
ClosePrinter' "$(spooler_calls)"
  PLOXWEN_WAIT=5 WINEDEBUG=+winspool run_exact 'PloxWen.exe Virtual¦TRACE'
  expect_eq "traced run: status" 6 "$STATUS"
  cp "$WORK/stderr" "$SHOTS/winspool-trace.log"
  local job
  job=$(tr -d '\r' <"$WORK/stderr" | sed -nE 's/^ploxwen: job Virtual-([0-9]+) left the queue without a verdict \(the spooler did not keep it\)$/\1/p')
  [[ -n $job ]] || fail "traced run: no cause line"
  expect_eq "spooler calls" "OpenPrinterA(\"Virtual\")
StartDocPrinter(1, {L\"Command Print\", (null), (null)})
SetJobW(job $job, 8)
StartPagePrinter
WritePrinter(5 bytes)
EndPagePrinter
EndDocPrinter
ClosePrinter
OpenPrinterA(\"Virtual\")
GetJobW(its job, level 1)
ClosePrinter" "$(spooler_calls)"
  # PLOXWEN_DATATYPE: auto reads the driver at level 8 (no XPS driver here:
  # RAW); XPS_PASS reaches StartDocPrinter, and Wine, whose print processor
  # knows RAW only, fails it at EndDocPrinter: a job may exist, 4.
  PLOXWEN_DATATYPE=auto WINEDEBUG=+winspool check 'PloxWen.exe Virtual¦AUTO' 0 "$(bytes AUTO)"
  expect_eq "spooler calls for auto" 'OpenPrinterA("Virtual")
GetPrinterDriverW(level 8)
GetPrinterDriverW(level 8)
StartDocPrinter(1, {L"Command Print", (null), L"RAW"})
StartPagePrinter
WritePrinter(4 bytes)
EndPagePrinter
EndDocPrinter
ClosePrinter' "$(spooler_calls)"
  PLOXWEN_DATATYPE=XPS_PASS WINEDEBUG=+winspool run_exact 'PloxWen.exe Virtual¦XPS'
  expect_eq "XPS_PASS under Wine: status" 4 "$STATUS"
  expect_eq "XPS_PASS: the document's data type" 'StartDocPrinter(1, {L"Command Print", (null), L"XPS_PASS"})' "$(spooler_calls | grep StartDoc)"
  # shellcheck disable=SC2016 # eval expands it at each try
  wait_until 20 eval '[[ -z $(lpstat -o) ]]' || fail "a job left pending or held: $(lpstat -o)"
}

# Sends KEY to WINDOW until it is gone (at most three times).
press_until_gone() { # WINDOW KEY
  # shellcheck disable=SC2034 # id is for the eval below
  local id=$1
  for _ in 1 2 3; do
    xdotool mousemove --window "$1" 40 8 click 1 key "$2" 2>/dev/null || true
    # shellcheck disable=SC2016 # eval expands it at each try
    wait_until 5 eval '! xwininfo -id "$id" 2>/dev/null | grep -q IsViewable' && return 0
  done
  fail "window $1 did not go away on $2"
}
window() { # CAPTION: waits for the visible X window of that exact name
  # shellcheck disable=SC2034 # name is for the eval below
  local name=$1
  # shellcheck disable=SC2016 # eval expands it at each try
  wait_until 30 eval 'xdotool search --onlyvisible --name "^$name\$" >/dev/null 2>&1' || fail "no window $1"
  xdotool search --onlyvisible --name "^$1\$" | head -n1
}

# "ZebraΩ" is listed, but Ω has no code in Windows-1252: the exact conversion
# of the name fails, so OpenPrinterA is never called, as on Windows for any
# name the ANSI code page cannot spell. Message box, then Form1 with both
# fields; status 2 once it is closed.
failure_run() { # NAME DPI
  local line='PloxWen.exe ZebraΩ¦HELLO Ä€ "quoted"  two  spaces' box form seen status=0
  PLOXWEN_TEST_COMMAND_LINE=$line timeout 300 wine "$EXE_DIR/ploxwen_launch.exe" 2>/dev/null &
  local pid=$!
  box=$(window PloxWen)
  seen=$(probe window PloxWen)
  expect_eq "$1: message" "$MESSAGE" "$(sed -n 's/^child Static id=65535 .*visible text=//p' <<<"$seen")"
  expect_eq "$1: one button, OK" "OK" "$(grep '^child Button.* visible ' <<<"$seen" | sed 's/.*text=//')"
  ! grep -q ' icon-shown' <<<"$seen" || fail "$1: the message box shows an icon"
  ! probe window Ploxwen >/dev/null || fail "$1: Form1 shown before the message was dismissed"
  import -window root "$SHOTS/$1-message-box.png"
  press_until_gone "$box" Return
  form=$(window Ploxwen)
  seen=$(probe window Ploxwen)
  px() { echo $((($1 * $2 + 720) / 1440)); } # twips to pixels at DPI $2
  expect_eq "$1: Form1 in pixels at $2 dpi" "dpi $2 $2
client $(px 6495 "$2") $(px 3270 "$2")
focus id=101
child Edit id=101 x=$(px 840 "$2") y=$(px 600 "$2") w=$(px 1935 "$2") h=$(px 615 "$2") tabstop visible text=ZebraΩ
child Edit id=102 x=$(px 3960 "$2") y=$(px 600 "$2") w=$(px 1815 "$2") h=$(px 615 "$2") tabstop visible text=${line#*¦}" \
    "$seen"
  import -window root "$SHOTS/$1-form1.png"
  xdotool mousemove --window "$form" 40 8 click 1 key Tab
  expect_eq "$1: Tab moves to Text2" "focus id=102" "$(probe window Ploxwen | grep '^focus ')"
  # Wine hands the icon to X as ARGB pixels: our orange and body colours, not Wine's default.
  local icon
  icon=$(xprop -id "$form" -f _NET_WM_ICON 32c _NET_WM_ICON | tr ', ' '\n')
  { grep -qx $((0xfff6ad55)) <<<"$icon" && grep -qx $((0xff3b4a5a)) <<<"$icon"; } || fail "$1: not PloxWen's icon"
  kill -0 "$pid" || fail "$1: ended before Form1 was closed"
  press_until_gone "$form" alt+F4
  wait "$pid" || status=$?
  expect_eq "$1: exit status once Form1 is closed" 2 "$status"
}

case_failure_window() {
  start_xvfb -screen 0 1024x768x24
  start_cupsd 'ZebraΩ' ZebraO
  failure_run unopenable 96
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 && wineserver -w
  on_exit "wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f"
  failure_run dpi144 144
  expect_eq "nothing reached any queue" "" "$(jobs_received)"
}

"case_$CASE"
echo "PASS [$CASE]"
