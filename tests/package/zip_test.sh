#!/usr/bin/env bash
# The Windows .zip, packed by CPack from the windows-preset build the Wine tests ran: exactly that
# PloxWen.exe, and README.txt with Windows line ends. usage: zip_test.sh WINDOWS_BUILD_DIR
source "$(dirname "$0")/../lib.sh"
cpack --config "$1/CPackConfig.cmake" -B "$WORK" >"$WORK/cpack.log" 2>&1 || fail "cpack: $(cat "$WORK/cpack.log")"
top=$(basename "$(ls "$WORK"/PloxWen-*-win32.zip)" .zip) # PloxWen-VERSION-win32
expect_eq "entries" "$top/README.txt $top/bin/PloxWen.exe" "$(unzip -Z1 "$WORK/$top.zip" | grep -v '/$' | sort | xargs)"
unzip -q "$WORK/$top.zip" -d "$WORK/unpacked"
cmp "$WORK/unpacked/$top/bin/PloxWen.exe" "$1/bin/PloxWen.exe" || fail "the zipped PloxWen.exe is not the built one"
readme=$WORK/unpacked/$top/README.txt
! grep -qv $'\r$' "$readme" || fail "README.txt has lines without CRLF"
for text in "PloxWen ${top:8:-6}"$'\r' "$BAR" 'Alt+0166' 'start "" /wait PloxWen.exe' '%ERRORLEVEL%' "wasn't recognized."; do
  grep -qF -- "$text" "$readme" || fail "README.txt does not mention $text"
done
