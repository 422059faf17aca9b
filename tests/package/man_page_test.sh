#!/usr/bin/env bash
# The man page is clean roff for both formatters Debian ships, and renders with the sections,
# exit statuses and texts its readers look for. usage: man_page_test.sh PAGE
source "$(dirname "$0")/../lib.sh"
lint=$(mandoc -T lint -W warning "$1" 2>&1) || fail "mandoc -T lint: $lint"
expect_eq "groff -ww warnings" "" "$(groff -ww -z -man "$1" 2>&1)"
page=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$1" 2>&1)
for line in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' ENVIRONMENT EXAMPLES NOTES 'SEE ALSO' ' {7}'{0..6}' {6}.*' ' {7}64 {5}.*'; do
  grep -qxE "$line" <<<"$page" || fail "no line $line"
done
# The separator renders as U+00A6, and the bash way to type it survives roff.
for text in "ploxwen printer${BAR}data" "\$'\\u00a6'" PLOXWEN_WAIT CUPS_SERVER PRINTER LPDEST LC_ALL LANG DISPLAY \
  WAYLAND_DISPLAY Alt+0166 '^XA^FO50,50^ADN,36,20^FDHello^FS^XZ' "\\x1bp0\\x19\\xfa" 'lp(1)' 'lpstat(1)'; do
  grep -qF -- "$text" <<<"$page" || fail "the page does not mention $text"
done
