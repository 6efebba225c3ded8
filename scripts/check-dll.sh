#!/usr/bin/env bash
# Checks what the host and Windows see of Sonabell.dll: a PE DLL of the right
# machine, the entry points exported under their plain names, imports from
# Windows system DLLs only, and the version resource.
#   check-dll.sh <objdump> <Sonabell.dll> <i686|x86_64>
set -uo pipefail
objdump=$1 dll=$2 cpu=$3
fail=0
bad() { echo "FAIL: $*"; fail=1; }

headers=$("$objdump" -p "$dll") || { echo "FAIL: objdump cannot read $dll"; exit 1; }

if [ "$cpu" = i686 ]; then
  grep -q 'file format pei-i386' <<<"$headers" || bad "not a PE32 i386 image"
  grep -q '^Magic[[:space:]]*010b' <<<"$headers" || bad "optional header is not PE32"
else
  grep -q 'file format pei-x86-64' <<<"$headers" || bad "not a PE32+ x86-64 image"
fi
grep -q 'Characteristics.*' <<<"$headers" && grep -q -i 'DLL' <<<"$(grep -A12 '^Characteristics' <<<"$headers")" \
  || bad "not marked as a DLL"

# Exported names: plain, no @n decoration, no leading underscore.
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF} on && /^$/{on=0}' <<<"$headers")
for name in Initialize Uninitialize PublishInfo ParseTag ParseCommand ReceiveNotify DisplayToast \
    DisplayToastW ${SONABELL_EXTRA_EXPORTS:-}; do
  grep -qx "$name" <<<"$exports" || bad "entry point $name is not exported under its plain name"
done
if grep -q '@' <<<"$exports"; then bad "decorated export names: $(grep '@' <<<"$exports" | tr '\n' ' ')"; fi

# Imports: Windows system DLLs only (no libgcc, libstdc++ or winpthread DLL).
allowed='^(kernel32|user32|gdi32|advapi32|shlwapi|comctl32|comdlg32|msvcrt|ole32|oleaut32|winmm|dsound|shell32|version|ucrtbase|api-ms-win-.*)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
[ -n "$imports" ] || bad "no import table"
while read -r lib; do
  [ -z "$lib" ] && continue
  grep -Eq "$allowed" <<<"$lib" || bad "imports a non-system DLL: $lib"
done <<<"$imports"

# The version resource: file and product version 2.01.001, product Sonabell.
strings -el "$dll" | grep -qx 'Sonabell' || bad "no ProductName Sonabell in the version resource"
[ "$(strings -el "$dll" | grep -cx '2.01.001')" -ge 2 ] || bad "FileVersion/ProductVersion 2.01.001 missing"

echo "imports: $(tr '\n' ' ' <<<"$imports")"
echo "exports: $(tr '\n' ' ' <<<"$exports")"
[ $fail -eq 0 ] && echo "dll_file_checks: all passed"
exit $fail
