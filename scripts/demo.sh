#!/usr/bin/env bash
# The main job: from a fresh Debian 12 machine (as root), build Sonabell.dll
# and show what the host sees of it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/bootstrap.sh

build() {
  echo "=== building preset $1"
  cmake --preset "$1" >"build/$1-build.log" 2>&1 && cmake --build --preset "$1" >>"build/$1-build.log" 2>&1 || {
    tail -n 40 "build/$1-build.log"
    exit 1
  }
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
echo
echo "=== the host loads the plug-in and asks for its name and menu commands"
scripts/wine-exec.sh "build/$tree/tools/sonabell-probe.exe" "Z:$(echo "$top/build/$tree/Sonabell.dll" | tr / '\\')"
