#!/usr/bin/env bash
# PloxWen.exe as shipped: a 32-bit GUI program that imports only Windows'
# own DLLs (winspool.drv is bound at run time, the C++ runtime is linked in),
# small, with the version resource and the icon it is meant to carry.
source "$(dirname "$0")/lib.sh"
exe="$EXE_DIR/PloxWen.exe"
[[ -f "$exe" ]] || { echo "missing $exe" >&2; exit 1; }

headers=$(i686-w64-mingw32-objdump -p "$exe")
expect_eq "PE32 (32-bit) image" "010b" "$(awk '$1 == "Magic" {print $2}' <<<"$headers")"
expect_eq "GUI subsystem" "00000002" "$(awk '$1 == "Subsystem" {print $2}' <<<"$headers")"

imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u)
echo "imports:" $imports
# Windows' own libraries only; nothing of the spooler, nothing of MinGW.
for dll in $imports; do
  case "$dll" in
    kernel32.dll | user32.dll | gdi32.dll | shell32.dll | msvcrt.dll | advapi32.dll) pass "imports $dll" ;;
    *) fail "imports $dll, which is not one of Windows' own DLLs it may use" ;;
  esac
done
grep -q '^kernel32.dll$' <<<"$imports" && grep -q '^user32.dll$' <<<"$imports" ||
  fail "import table not read (kernel32/user32 missing)"
if grep -qi 'winspool' <<<"$imports"; then fail "winspool is imported"; fi

size=$(stat -c %s "$exe")
echo "size: $size bytes"
if ((size <= 300 * 1024)); then pass "size $size <= 300 KiB"; else fail "size $size > 300 KiB"; fi

version=$(probe version "$(winepath -w "$exe")")
echo "$version"
field() { sed -n "s/^$1=//p" <<<"$version"; }
expect_eq "fixed file version" "1.0.0.0" "$(field FixedFileVersion)"
expect_eq "fixed product version" "1.0.0.0" "$(field FixedProductVersion)"
expect_eq "FileVersion" "1.00" "$(field FileVersion)"
expect_eq "ProductVersion" "1.00" "$(field ProductVersion)"
expect_eq "ProductName" "PloxWen" "$(field ProductName)"
expect_eq "InternalName" "PloxWen" "$(field InternalName)"
expect_eq "OriginalFilename" "PloxWen.exe" "$(field OriginalFilename)"
expect_eq "icon: one 37x33 picture in 256 colours" "icon 37x33 colours=256 bits=8" \
  "$(grep '^icon ' <<<"$version")"

finish
