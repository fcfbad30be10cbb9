#!/usr/bin/env bash
# The built program as a file: a GUI executable (PE32 for i386, or PE32+ for the 64-bit build)
# with ASLR and DEP that needs nothing but system DLLs, exports the main-window pointer as
# _Form1 and carries its icon and manifest.
set -uo pipefail
exe=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
nm=${NM:-i686-w64-mingw32-nm}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$exe")
case $objdump in
  *x86_64*) format=pei-x86-64 symbol_name=Form1 ;;
  *) format=pei-i386 symbol_name=_Form1 ;; # C names carry an underscore on i386
esac
grep -q "file format $format" <<<"$headers" || fail "not a $format file"
grep -Eq '^Subsystem\s+00000002' <<<"$headers" || fail "not a GUI-subsystem program"
flags=$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")
(( (16#$flags & 0x40) && (16#$flags & 0x100) )) || fail "ASLR or DEP off (DllCharacteristics $flags)"

system_dlls='^(kernel32|user32|gdi32|opengl32|msvcrt|advapi32|shell32|ole32)\.dll$'
while read -r dll; do
  grep -Eiq "$system_dlls" <<<"$dll" || fail "imports $dll, which is not a system DLL"
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")

# The export named _Form1 points at the variable Form1.
export_rva=$(awk '/Export RVA$/ {print $(NF-2); exit}' <<<"$headers")
names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers")
grep -q '\b_Form1$' <<<"$names" || fail "_Form1 is not exported"
[ "$(grep -Ec '^\s+\[ *[0-9]+\] ' <<<"$names")" -eq 1 ] || fail "exports more than _Form1"
image_base=$(awk '/^ImageBase/ {print $2}' <<<"$headers")
symbol=$("$nm" "$exe" | awk -v name="$symbol_name" '$3 == name {print $1}')
if [ -n "$export_rva" ] && [ -n "$symbol" ]; then
  [ $((16#$symbol - 16#$image_base)) -eq $((16#$export_rva)) ] ||
    fail "_Form1 exports 0x$export_rva, Form1 is at 0x$symbol"
else
  fail "cannot find the export ($export_rva) or the symbol ($symbol)"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if wrestool -x -t14 -n MAINICON "$exe" -o "$work/icon.ico" 2>/dev/null; then
  icotool -l "$work/icon.ico" | grep -q -- '--width=32 --height=32 --bit-depth=4' ||
    fail "MAINICON is not 32x32 in 16 colours: $(icotool -l "$work/icon.ico")"
else
  fail "no icon MAINICON"
fi
wrestool -x --raw -t24 "$exe" 2>/dev/null | grep -q 'PerMonitorV2' || fail "no DPI-aware manifest"
wrestool -x --raw -t10 -n TFORM1 "$exe" 2>/dev/null | grep -q '^form Form1: TForm1' ||
  fail "no form definition TFORM1"

[ $failures -eq 0 ] && echo "executable checks passed"
exit $((failures > 0))
