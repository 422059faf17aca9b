#!/usr/bin/env bash
# The Windows .zip, packed by CPack from the windows-preset build the Wine tests ran: exactly that
# PloxWen.exe, README.txt and LICENSE.txt with Windows line ends. usage: zip_test.sh WINDOWS_BUILD_DIR
source "$(dirname "$0")/../lib.sh"
cpack --config "$1/CPackConfig.cmake" -B "$WORK" >"$WORK/cpack.log" 2>&1 || fail "cpack: $(cat "$WORK/cpack.log")"
top=$(basename "$(ls "$WORK"/PloxWen-*-win32.zip)" .zip) # PloxWen-VERSION-win32
expect_eq "entries" "$top/LICENSE.txt $top/README.txt $top/bin/PloxWen.exe" "$(unzip -Z1 "$WORK/$top.zip" | grep -v '/$' | sort | xargs)"
unzip -q "$WORK/$top.zip" -d "$WORK/unpacked"
cmp "$WORK/unpacked/$top/bin/PloxWen.exe" "$1/bin/PloxWen.exe" || fail "the zipped PloxWen.exe is not the built one"
readme=$WORK/unpacked/$top/README.txt
for text in README LICENSE; do
  ! grep -qv $'\r$' "$WORK/unpacked/$top/$text.txt" || fail "$text.txt has lines without CRLF"
done
cmp <(tr -d '\r' <"$WORK/unpacked/$top/LICENSE.txt") "$SOURCE_DIR/LICENSE" || fail "LICENSE.txt is not LICENSE"
for text in "PloxWen ${top:8:-6}"$'\r' "$BAR" 'Alt+0166' 'start "" /wait PloxWen.exe' '%ERRORLEVEL%' "wasn't recognized."; do
  grep -qF -- "$text" "$readme" || fail "README.txt does not mention $text"
done
