#!/usr/bin/env bash
# Fails when Sonabell.dll imports a function that Windows XP SP3 lacks: XP
# then refuses to load the whole DLL, and the host shows no plug-in at all.
# Every import must be listed in scripts/xp-sp3-imports.txt.
#   check-xp-imports.sh <objdump> <Sonabell.dll> [<list>]
set -uo pipefail
objdump=$1 dll=$2
list=${3:-$(cd "$(dirname "$0")" && pwd)/xp-sp3-imports.txt}

headers=$("$objdump" -p "$dll") || { echo "FAIL: objdump cannot read $dll"; exit 1; }
[ -r "$list" ] || { echo "FAIL: no list of XP SP3 functions at $list"; exit 1; }

# "dll function" for every import; an import by ordinal shows as "#<ordinal>".
imports=$(awk '
  /^The Import Tables/ { on = 1; next }
  /^The Export Tables/ || /^PE File Base Relocations/ { on = 0 }
  !on { next }
  /DLL Name:/ { dll = tolower($3); next }
  /^\t[0-9a-f]+\t/ && dll != "" {
    if (NF >= 3 && $3 != "<none>") print dll, $3
    else print dll, "#" $2
  }' <<<"$headers" | sort -u)
[ -n "$imports" ] || { echo "FAIL: no imports found in $dll"; exit 1; }

allowed=$(sed -e 's/#.*//' -e 's/[[:space:]]\+/ /g' -e 's/^ //' -e 's/ $//' "$list" | grep -v '^$' |
  awk '{ print tolower($1), $2 }' | sort -u)

missing=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$allowed"))
count=$(wc -l <<<"$imports")
if [ -n "$missing" ]; then
  echo "FAIL: $(basename "$dll") imports functions that are not known to exist on Windows XP SP3;"
  echo "XP would refuse to load the DLL. Look each one up at run time, use an XP-era"
  echo "equivalent, or add it to $(basename "$list") after checking its documentation:"
  sed 's/^/  /' <<<"$missing"
  exit 1
fi
echo "xp_imports: all $count imports exist on Windows XP SP3"
