#!/usr/bin/env bash
# CMAKE_CROSSCOMPILING_EMULATOR: runs one Windows executable of a build tree
# under that tree's Wine world, starting the world if it is not up yet.
set -euo pipefail
exe=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
build=${SONABELL_BUILD_DIR:-}
if [ -z "$build" ]; then
  d=$(cd "$(dirname "$exe")" && pwd)
  while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  build=$d
fi
case "$(od -An -tx1 -j"$(( $(od -An -tu4 -j60 -N4 "$exe") + 4 ))" -N2 "$exe" | tr -d ' ')" in
  6486) arch=win64 ;;
  *) arch=win32 ;;
esac
"$here/wine-world.sh" start "$build" "$arch"
eval "$("$here/wine-world.sh" env "$build" "$arch")"
exec "$SONABELL_WINE_LOADER" "$exe" "$@"
