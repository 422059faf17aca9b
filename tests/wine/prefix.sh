#!/usr/bin/env bash
# The Wine prefix all Wine tests of a run share: `prefix.sh setup DIR` makes
# a fresh 32-bit prefix (about half a minute), `prefix.sh cleanup DIR` stops
# its wineserver and removes it.
set -euo pipefail
action=${1:?setup or cleanup}
prefix=${2:?prefix directory}

export LANG=C.UTF-8 WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$prefix"
export CUPS_SERVER=/nonexistent/ploxwen-no-cupsd.sock
unset DISPLAY

case "$action" in
  setup)
    if [[ -d "$prefix" ]]; then wineserver -k 2>/dev/null || true; fi
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    wineboot -u
    wineserver -w
    # Xvfb has no window manager: let Wine manage its windows itself, or
    # every window close waits for one.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    wineserver -w
    [[ -f "$prefix/system.reg" ]] || { echo "no prefix made in $prefix" >&2; exit 1; }
    ;;
  cleanup)
    if [[ -d "$prefix" ]]; then wineserver -k 2>/dev/null || true; fi
    rm -rf "$prefix"
    ;;
  *)
    echo "usage: prefix.sh setup|cleanup DIR" >&2
    exit 2
    ;;
esac
