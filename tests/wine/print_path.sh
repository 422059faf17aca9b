#!/usr/bin/env bash
# The printing path under Wine, through Wine's spooler to a private cupsd:
# exact bytes at the queue, the spooler calls in order, exit statuses, and
# the argument text taken from the raw command line. No run here may show a
# window: a message box or Form1 would block until dismissed, and nothing
# here dismisses anything, so a run that ends at all showed none.
source "$(dirname "$0")/lib.sh"
start_xvfb  # a display a window could appear on
start_cups Virtual ZebraO

# Runs COMMAND_LINE; checks the status and that exactly EXPECTED_BYTES (a
# file) arrived on Virtual as one new job named "Command Print", or, with
# EXPECTED_BYTES "-", that no job arrived anywhere.
check_run() {  # NAME COMMAND_LINE EXPECTED_STATUS EXPECTED_BYTES
  local name=$1 before after
  before=$(jobs_received)
  run_exact "$2"
  expect_eq "$name: exit status" "$3" "$STATUS"
  if [[ "$4" == "-" ]]; then
    after=$(jobs_received)
    expect_eq "$name: nothing sent" "$before" "$after"
    return
  fi
  if ! wait_for_jobs Virtual $(($(grep -c '^Virtual/' <<<"$before") + 1)); then
    fail "$name: no job arrived on Virtual"
    return
  fi
  after=$(jobs_received)
  local new
  new=$(comm -13 <(echo "$before") <(echo "$after"))
  expect_eq "$name: one new job, on Virtual" "Virtual/" "$(sed 's|[0-9]*$||' <<<"$new")"
  [[ -n "$new" ]] || return
  if cmp -s "$4" "$CUPS_DIR/out/$new"; then
    pass "$name: bytes exact ($(stat -c %s "$4") bytes)"
  else
    fail "$name: bytes differ: expected $(xxd -p "$4" | head -c 80), got $(xxd -p "$CUPS_DIR/out/$new" | head -c 80)"
  fi
  expect_eq "$name: job name" "title=Command Print" "$(grep '^title=' "$CUPS_DIR/out/$new.meta")"
}

bytes() { printf "$1" >"$WORK/expected"; echo "$WORK/expected"; }

# --- Bytes --------------------------------------------------------------------
check_run ascii 'PloxWen.exe Virtual¦HELLO' 0 "$(bytes 'HELLO')"
# Windows-1252, Wine's ANSI code page: Ä is C4, € is 80.
check_run ansi 'PloxWen.exe Virtual¦Ä€' 0 "$(bytes '\xc4\x80')"
# Control bytes as receipt printers use them (ESC @, GS V), then every
# character of Windows-1252 that has a code (the separator ¦ excepted) must
# arrive as its one byte.
# Bytes as Windows-1252 in the files; the command lines get the same text
# in UTF-8, which Wine reads as Unicode.
for ((b = 1; b < 256; b++)); do
  case $b in 129 | 141 | 143 | 144 | 157 | 166) continue ;; esac  # no code, or the separator
  printf "\\x$(printf %02x $b)"
done >"$WORK/all.raw"
printf '\x1b@%s\x1dV\x01' "$(printf %b "$(<"$WORK/all.raw")")" >"$WORK/all.bytes"
printf 'PloxWen.exe Virtual¦%s' "$(iconv -f CP1252 -t UTF-8 "$WORK/all.bytes")" >"$WORK/all.line"
# Windows takes at most 32767 characters, the terminating null included.
prefix='PloxWen.exe Virtual¦'
for ((b = 32; b < 256; b++)); do
  case $b in 127 | 128 | 129 | 1[3-5][0-9] | 166) continue ;; esac  # printable Latin-1 only
  printf "\\x$(printf %02x $b)"
done >"$WORK/pattern.raw"
for ((i = 0; i < 200; i++)); do printf %b "$(<"$WORK/pattern.raw")"; done >"$WORK/patterns"
head -c $((32766 - ${#prefix})) "$WORK/patterns" >"$WORK/long.bytes"
printf '%s%s' "$prefix" "$(iconv -f CP1252 -t UTF-8 "$WORK/long.bytes")" >"$WORK/long.line"
check_run every-ansi-byte "$(<"$WORK/all.line")" 0 "$WORK/all.bytes"
check_run near-command-line-limit "$(<"$WORK/long.line")" 0 "$WORK/long.bytes"
# Unrepresentable characters become '?', never a look-alike.
check_run no-best-fit 'PloxWen.exe Virtual¦Ω→' 0 "$(bytes '??')"
# CUPS refuses an empty document, so no job is left; the run still succeeds.
check_run empty-data 'PloxWen.exe Virtual¦' 0 -
check_run third-piece-ignored 'PloxWen.exe Virtual¦DATA¦MORE' 0 "$(bytes 'DATA')"

# --- Argument text as typed -----------------------------------------------------
check_run spacing-and-quotes-kept 'PloxWen.exe   Virtual¦ a  "b"  ' 0 "$(bytes ' a  "b"  ')"
check_run tab-after-name "PloxWen.exe	Virtual¦T" 0 "$(bytes 'T')"
check_run quoted-program-name '"PloxWen.exe" Virtual¦Q' 0 "$(bytes 'Q')"
check_run one-quoted-argument 'PloxWen.exe "Virtual¦HELLO WORLD"' 0 "$(bytes 'HELLO WORLD')"
check_run one-quoted-argument-escaped 'PloxWen.exe "Virtual¦say \"hi\""' 0 "$(bytes 'say "hi"')"
# Two arguments: taken as typed, so the name is "Virtual (with its quote).
check_run two-quoted-arguments 'PloxWen.exe "Virtual¦A" "B"' 1 -

# --- No match: status 1, silent, nothing sent (CUPS and Wine would match these) -
check_run other-case 'PloxWen.exe virtual¦X' 1 -
check_run trailing-space 'PloxWen.exe Virtual ¦X' 1 -
check_run no-arguments 'PloxWen.exe' 1 -
check_run only-separators 'PloxWen.exe ¦¦¦' 1 -
check_run unknown 'PloxWen.exe Nowhere¦X' 1 -

# --- The spooler calls, in order, with their arguments ------------------------
WINEDEBUG=+winspool run_exact 'PloxWen.exe Virtual¦TRACE'
expect_eq "traced run: exit status" 0 "$STATUS"
cp "$WORK/stderr" "$ARTIFACTS/winspool-trace.log"
# Our handle is the one Wine's OpenPrinter returns to our OpenPrinterA; Wine
# makes calls of its own on other handles in between.
calls=$(awk '
  /trace:winspool:OpenPrinter2A \("Virtual",/ { print "OpenPrinterA(\"Virtual\")"; opening = 1; next }
  opening && /OpenPrinter2W returning 1 with 0 and/ { handle = $NF; opening = 0; next }
  handle == "" { next }
  index($0, ":StartDocPrinterW (" handle ",") { sub(/.*StartDocPrinterW \([0-9A-Fa-f]+, /, ""); sub(/[0-9A-Fa-f]+ \{/, "{"); print "StartDocPrinter(" $0; next }
  index($0, ":StartPagePrinter (" handle ")") { print "StartPagePrinter"; next }
  index($0, ":WritePrinter (" handle ",") { split($0, f, ", "); print "WritePrinter(" f[3] " bytes)"; next }
  index($0, ":EndPagePrinter (" handle ")") { print "EndPagePrinter"; next }
  index($0, ":EndDocPrinter (" handle ")") { print "EndDocPrinter"; next }
  index($0, ":ClosePrinter (" handle ")") { print "ClosePrinter"; handle = ""; next }
' "$WORK/stderr")
expected_calls='OpenPrinterA("Virtual")
StartDocPrinter(1, {L"Command Print", (null), (null)})
StartPagePrinter
WritePrinter(5 bytes)
EndPagePrinter
EndDocPrinter
ClosePrinter'
expect_eq "spooler calls in order" "$expected_calls" "$calls"
# The printer list is read once per run although the search asks for it
# afresh for every entry: one enumeration, i.e. two EnumPrintersW calls with
# PRINTER_ENUM_CONNECTIONS (the size, then the list; Wine's own calls lack it).
expect_eq "printers enumerated once" 2 "$(grep -c 'EnumPrintersW ignoring PRINTER_ENUM_CONNECTIONS' "$WORK/stderr")"
expect_eq "no job left pending or held" "" "$(lpstat -o)"

finish
