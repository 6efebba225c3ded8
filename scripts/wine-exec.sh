#!/usr/bin/env bash
# CMAKE_CROSSCOMPILING_EMULATOR: runs one Windows executable of a build tree
# under that tree's Wine world, starting the world if it is not up yet.
set -euo pipefail
exe=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
read -r build arch < <("$here/wine-world.sh" tree "$exe")
"$here/wine-world.sh" start "$build" "$arch"
eval "$("$here/wine-world.sh" env "$build" "$arch")"
# A test may switch further DLLs off for its own process.
if [ -n "${SONABELL_WINE_EXTRA_OVERRIDES:-}" ]; then
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$SONABELL_WINE_EXTRA_OVERRIDES"
fi
exec "$SONABELL_WINE_LOADER" "$exe" "$@"
