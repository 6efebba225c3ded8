#!/usr/bin/env bash
# Runs the host simulator on the freshly built plug-in, with the plug-in folder
# laid out as a user's would be: Sonabell.dll beside the Sonabell sound folder,
# which holds the sample soundpack's sounds. Arguments go to sonabell-host
# (--audio, --script, --fresh; see --help). Without --script the chat is typed.
#   SONABELL_TREE=windows64 (default: windows where 32-bit code runs)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

tree=${SONABELL_TREE:-}
if [ -z "$tree" ]; then
  if bash scripts/can-run-win32.sh; then tree=windows; else tree=windows64; fi
fi
if [ ! -f "build/$tree/tools/sonabell-host.exe" ] || [ ! -f "build/$tree/Sonabell.dll" ]; then
  bash scripts/bootstrap.sh >/dev/null
  mkdir -p build
  { cmake --preset "$tree" && cmake --build --preset "$tree"; } >"build/$tree-build.log" 2>&1 || {
    tail -n 40 "build/$tree-build.log"
    exit 1
  }
fi

plugins="$top/build/$tree/demo/plugins"
mkdir -p "$plugins/Sonabell"
cp "build/$tree/Sonabell.dll" "$plugins/"
cp soundpacks/sample/*.mp3 soundpacks/sample/*.ogg "$plugins/Sonabell/"

winpath() { echo "Z:$1" | tr / '\\'; }
export SONABELL_PACK
SONABELL_PACK=$(winpath "$top/soundpacks/sample/install.ini")
if [ -z "${SONABELL_KEEP_WORLD:-}" ]; then
  trap 'bash scripts/wine-world.sh stop "$top/build/$tree" >/dev/null 2>&1 || true' EXIT
fi
scripts/wine-exec.sh "build/$tree/tools/sonabell-host.exe" --plugin-dir "$(winpath "$plugins")" "$@"
