#!/usr/bin/env bash
# The Windows .zip, packed by CPack from a windows-preset build tree: exactly
# PloxWen.exe (the very file the Wine tests run) and README.txt with Windows
# line ends.
# usage: zip_test.sh WINDOWS_BUILD_DIR WORK_DIR
set -uo pipefail

BUILD=$(cd "$1" && pwd)
WORK=$2
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$WORK" && mkdir -p "$WORK" || fail "cannot make $WORK"
cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK" >"$WORK/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$WORK/cpack.log")"
zips=("$WORK"/PloxWen-*-win32.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "want one PloxWen-*-win32.zip, got: $(ls "$WORK")"
zip=${zips[0]}
top=$(basename "$zip" .zip)
echo "$(basename "$zip"):"
unzip -l "$zip" | sed 's/^/  /'

entries=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
want=$(printf '%s\n' "$top/README.txt" "$top/bin/PloxWen.exe" | sort)
[ "$entries" == "$want" ] || fail "zip holds [$entries], want [$want]"

mkdir "$WORK/unpacked" && unzip -q "$zip" -d "$WORK/unpacked" || fail "cannot unzip"
exe=$WORK/unpacked/$top/bin/PloxWen.exe
cmp "$exe" "$BUILD/bin/PloxWen.exe" || fail "the zipped PloxWen.exe is not the built one"
file "$exe" | grep -q 'PE32 executable (GUI) Intel 80386' || fail "not a 32-bit Windows GUI exe: $(file "$exe")"

readme=$WORK/unpacked/$top/README.txt
lines=$(wc -l <"$readme")
crlf=$(grep -c $'\r$' "$readme")
[ "$lines" -gt 10 ] && [ "$crlf" -eq "$lines" ] || fail "README.txt: $crlf of $lines lines end in CRLF"
version=${top#PloxWen-}
version=${version%-win32}
grep -q "^PloxWen $version"$'\r$' "$readme" || fail "README.txt does not name version $version"
for text in $'\u00a6' 'Alt+0166' 'start "" /wait PloxWen.exe' '%ERRORLEVEL%' "wasn't recognized."; do
    grep -qF -- "$text" "$readme" || fail "README.txt does not mention $text"
done
echo PASS
