#!/usr/bin/env bash
# The main job: from a fresh Debian 12 machine (as root), build Sonabell.dll
# and show what the host sees of it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# shellcheck source=steps.sh
. "$top/scripts/steps.sh"

bash scripts/bootstrap.sh

build() { # the build's output goes to build/<preset>-build.log
  local log="$top/build/$1-build.log"
  : >"$log"
  step_run "=== $1: configure" "$log" cmake --preset "$1" &&
    step_run "=== $1: build" "$log" cmake --build --preset "$1" || exit 1
}
mkdir -p build
build windows
echo
echo "=== build/windows/Sonabell.dll"
i686-w64-mingw32-objdump -p build/windows/Sonabell.dll | sed -n 's/^.*file format /  format: /p'
echo "  exports: $(i686-w64-mingw32-objdump -p build/windows/Sonabell.dll |
  awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{printf "%s ", $NF} on && /^$/{on=0}')"
echo "  imports: $(i686-w64-mingw32-objdump -p build/windows/Sonabell.dll | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')"
echo "  size:    $(stat -c %s build/windows/Sonabell.dll) bytes"

# Load it as the host does. Kernels that cannot run 32-bit code cannot run
# 32-bit Wine either; there the 64-bit build of the same sources is loaded.
tree=windows
if ! bash scripts/can-run-win32.sh; then
  echo
  echo "(this machine cannot run 32-bit code: loading the 64-bit build of the same sources)"
  build windows64
  tree=windows64
fi
trap 'bash scripts/wine-world.sh stop "$top/build/$tree" >/dev/null 2>&1 || true' EXIT
demo="$top/build/$tree/demo"
rm -rf "$demo"
echo
echo "=== a scripted conversation in the host simulator (what was heard is captured to build/$tree/demo/heard.wav)"
SONABELL_TREE=$tree SONABELL_KEEP_WORLD=1 bash scripts/simulator.sh --fresh \
  --audio "capture:Z:$(echo "$demo/heard.wav" | tr / '\\')" \
  --script "Z:$(echo "$top/tools/host_simulator/demo-chat.txt" | tr / '\\')"
echo
echo "=== what the receiving side played"
if [ -s "$demo/heard.wav" ]; then
  sox "$demo/heard.wav" -n stat 2>&1 | grep -E 'Length|Maximum amplitude|RMS     amplitude' | sed 's/^/  /'
else
  echo "  nothing was captured"
fi
