#!/usr/bin/env bash
# Checks a built QuandelSTK6.dll without running it (the 32-bit one cannot run here): its machine,
# exactly the four COM exports, no mingw runtime DLL among its imports, the version resource with
# OLESelfRegister, and the type library embedded byte for byte as widl made it, for its platform.
#
#   check_dll.sh BUILD_FOLDER x86_64|i686
set -u
export LC_ALL=C  # byte patterns below are bytes, not characters
build=$1
arch=$2
dll=$build/bin/QuandelSTK6.dll
tlb=$build/src/automation/QuandelSTK6.tlb
objdump=$arch-w64-mingw32-objdump
passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $what"; else failed=$((failed + 1)); echo "FAIL $what"; fi
}

# A text as UTF-16LE, as resources hold it, for grep -P.
utf16() { sed 's/./&\\x00/g' <<<"$1"; }

headers=$($objdump -p "$dll" 2>/dev/null)
case $arch in
  x86_64) format=pei-x86-64 syskind=3 ;;
  i686) format=pei-i386 syskind=1 ;;
  *) echo "unknown architecture $arch"; exit 2 ;;
esac
check "$dll exists" test -f "$dll"
check "built for $format" grep -q "file format $format" <<<"$($objdump -f "$dll" 2>/dev/null)"
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && /^[ \t]*\[/ { print $NF } on && /^$/ { on = 0 }' \
  <<<"$headers" | sort | tr '\n' ' ')
check "exports exactly the four entry points ($exports)" \
  test "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
imports=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$headers" | sort | tr '\n' ' ')
check "imports only system DLLs ($imports)" \
  test "$imports" = "advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll "
check "version resource marks it self-registering" grep -qaP "$(utf16 OLESelfRegister)" "$dll"
check "file version 6.06.0001" grep -qaP "$(utf16 'FileVersion')\\x00\\x00(\\x00\\x00)?$(utf16 6.06.0001)" "$dll"
check "product version 6.06.0001" grep -qaP "$(utf16 'ProductVersion')\\x00\\x00(\\x00\\x00)?$(utf16 6.06.0001)" "$dll"
check "VS_FIXEDFILEINFO 6.6.0.1" grep -qaP '\xbd\x04\xef\xfe\x00\x00\x01\x00\x06\x00\x06\x00\x01\x00\x00\x00' "$dll"

# The type library: found by its signature, compared with widl's output, and built for the platform.
check "type library built ($tlb)" test -f "$tlb"
offset=$(grep -obUaP 'MSFT\x02\x00\x01\x00' "$dll" | head -n 1 | cut -d: -f1)
size=$(stat -c %s "$tlb" 2>/dev/null || echo 0)
check "type library embedded" test -n "$offset"
check "the embedded type library is the built one" cmp -s <(tail -c +$((${offset:-0} + 1)) "$dll" | head -c "$size") "$tlb"
check "type library for system kind $syskind" test "$(od -An -tu4 -j20 -N4 "$tlb" | tr -d ' ')" -eq $syskind \
  -o "$(($(od -An -tu4 -j20 -N4 "$tlb" | tr -d ' ') & 15))" -eq $syskind
check "Unicode.txt beside the DLL" test -s "$build/bin/Unicode.txt"

echo "check_dll $arch: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
