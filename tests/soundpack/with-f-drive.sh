#!/usr/bin/env bash
# Runs one test executable under the build tree's Wine world with drive F:
# mapped to a folder of the build tree, so "f:\errorlog.txt" is a file the
# tests can read back. Used as the executable's cross-compiling emulator.
set -euo pipefail
exe=$1
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
read -r build arch < <("$scripts/wine-world.sh" tree "$exe")
# Start first: a new world replaces its prefix, and the link with it.
"$scripts/wine-world.sh" start "$build" "$arch"
prefix=$("$scripts/wine-world.sh" env "$build" "$arch" | sed -n 's/^export WINEPREFIX=//p')
mkdir -p "$build/soundpack-drive-f" "$prefix/dosdevices"
ln -sfn "$build/soundpack-drive-f" "$prefix/dosdevices/f:"
exec "$scripts/wine-exec.sh" "$@"
