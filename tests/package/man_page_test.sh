#!/usr/bin/env bash
# The man page is clean roff for both formatters Debian ships, and renders
# with the sections and texts its readers look for.
# usage: man_page_test.sh PAGE
set -uo pipefail

PAGE=$1
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

lint=$(mandoc -T lint -W warning "$PAGE" 2>&1) || fail "mandoc -T lint: $lint"
warnings=$(groff -ww -z -man "$PAGE" 2>&1) || fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "groff -ww: $warnings"

rendered=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$PAGE" 2>&1) || fail "man -l: $rendered"
for heading in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' ENVIRONMENT EXAMPLES NOTES 'SEE ALSO'; do
    grep -qx "$heading" <<<"$rendered" || fail "no $heading section"
done
# The separator renders as U+00A6, and the bash way to type it survives roff.
grep -q $'ploxwen printer\u00a6data' <<<"$rendered" || fail "synopsis without \u00a6"
grep -qF "\$'\\u00a6'" <<<"$rendered" || fail "the bash quoting of the separator is mangled"
for text in CUPS_SERVER PRINTER LPDEST LC_ALL LANG DISPLAY WAYLAND_DISPLAY 'Alt+0166' \
    '^XA^FO50,50^ADN,36,20^FDHello^FS^XZ' "\\x1bp0\\x19\\xfa" 'lp(1)' 'lpstat(1)'; do
    grep -qF -- "$text" <<<"$rendered" || fail "the page does not mention $text"
done
for status in 0 1 2 3; do
    grep -qE "^ {7}$status {6}" <<<"$rendered" || fail "exit status $status is not listed"
done
echo PASS
