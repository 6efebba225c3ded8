#!/usr/bin/env bash
# Checks, in a 32-bit DLL's machine code, that each host entry point removes
# exactly its arguments from the stack when it returns (__stdcall). A wrong
# count corrupts the host's stack, and only the 32-bit product can show it.
#   check-stdcall.sh <objdump> <dll> [Name=bytes ...]
# Without Name=bytes pairs, the host's eight entry points are checked.
#
# From each export's address it follows the code as the CPU could run it:
# both ways of a conditional jump, into the target of a direct jump, past a
# call. Every return reached must pop the expected bytes; an indirect jump
# or a path that leaves the code is reported, never taken for a pass.
set -uo pipefail
objdump=$1 dll=$2
shift 2
if [ $# -eq 0 ]; then
  set -- Initialize=12 PublishInfo=12 ParseTag=12 Uninitialize=0 \
    ParseCommand=16 ReceiveNotify=16 DisplayToast=16 DisplayToastW=16
fi

headers=$("$objdump" -p "$dll") || { echo "FAIL: objdump cannot read $dll"; exit 1; }
grep -q 'file format pei-i386' <<<"$headers" || { echo "FAIL: $dll is not a 32-bit x86 image"; exit 1; }
base=$(awk '$1 == "ImageBase" {print $2}' <<<"$headers")
[ -n "$base" ] || { echo "FAIL: no ImageBase in $dll"; exit 1; }

# Export name -> address: the name table's [n] indexes the address table.
entries=$(awk -v base="$base" '
  /^Export Address Table -- Ordinal Base/ { eat = 1; next }
  /^\[Ordinal\/Name Pointer\] Table/ { eat = 0; names = 1; next }
  /^$/ { eat = 0; names = 0 }
  eat && /Export RVA/ { i = $2; sub(/\]/, "", i); rva[i + 0] = $(NF - 2) }
  names && /^[ \t]*\[/ { i = $2; sub(/\]/, "", i); print $3, rva[i + 0] }
' <<<"$headers")

disassembly=$(mktemp)
trap 'rm -f "$disassembly"' EXIT
"$objdump" -d --no-show-raw-insn "$dll" >"$disassembly" || { echo "FAIL: objdump cannot disassemble $dll"; exit 1; }

fail=0
for pair in "$@"; do
  name=${pair%=*} want=${pair#*=}
  rva=$(awk -v n="$name" '$1 == n {print $2}' <<<"$entries")
  if [ -z "$rva" ]; then
    echo "FAIL: $name is not exported"
    fail=1
    continue
  fi
  entry=$(printf '%x' $((16#$base + 16#$rva)))
  # Prints one line per return reached ("ret N") and per path it cannot
  # follow ("lost WHY AT").
  reached=$(awk -v entry="$entry" '
    function hexnum(s,   i, c, v) {
      v = 0
      s = tolower(s)
      for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)); v = v * 16 + c - 1 }
      return v
    }
    /^ *[0-9a-f]+:\t/ {
      a = $1; sub(/:$/, "", a); sub(/^0+/, "", a)
      line = $0; sub(/^[^\t]*\t/, "", line)
      n++; addr[n] = a; text[n] = line; at[a] = n
    }
    END {
      e = entry; sub(/^0+/, "", e)
      if (!(e in at)) { print "lost no-instruction-at-entry " entry; exit }
      todo[1] = at[e]; top = 1
      while (top > 0) {
        i = todo[top--]
        while (i && !(i in seen)) {
          seen[i] = 1
          split(text[i], w, /[ \t]+/)
          op = w[1]; arg = w[2]
          if (op == "repz" || op == "rep" || op == "bnd") { op = w[2]; arg = w[3] }
          if (op == "ret" || op == "retl") {
            print "ret " (arg == "" ? 0 : hexnum(substr(arg, 4)))
            break
          }
          if (op == "jmp" || op ~ /^j[a-z]+$/ || op == "loop" || op == "jecxz") {
            if (arg !~ /^0x[0-9a-f]+$/) { print "lost indirect-" op " " addr[i]; break }
            t = substr(arg, 3); sub(/^0+/, "", t)
            if (!(t in at)) { print "lost jump-outside-code " addr[i]; break }
            todo[++top] = at[t]
            if (op == "jmp") break
          }
          if (op == "ud2" || op == "int3" || op == "hlt" || op == "(bad)") { print "lost " op " " addr[i]; break }
          i = (i + 1 <= n) ? i + 1 : 0
          if (!i) print "lost end-of-code " addr[n]
        }
      }
    }' "$disassembly")
  pops=$(sed -n 's/^ret //p' <<<"$reached" | sort -un | tr '\n' ' ')
  lost=$(sed -n 's/^lost //p' <<<"$reached")
  if [ -z "$pops" ]; then
    echo "FAIL: $name: no return reached from 0x$entry"
    fail=1
  elif [ "$pops" != "$want " ]; then
    echo "FAIL: $name pops ${pops% } bytes on return, expected $want"
    fail=1
  else
    echo "ok: $name pops $want bytes ($(grep -c '^ret ' <<<"$reached") returns)"
  fi
  if [ -n "$lost" ]; then
    echo "FAIL: $name: a path cannot be followed ($(tr '\n' ' ' <<<"$lost"))"
    fail=1
  fi
done
[ $fail -eq 0 ] && echo "stdcall_check: all passed"
exit $fail
