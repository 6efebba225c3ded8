#!/usr/bin/env bash
# Empties the plug-in's sound database in the Wine world of the build tree
# that holds the given program: the pack tool's runs judge a pack against
# the user's database, and earlier tests leave sounds in it.
set -uo pipefail
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
read -r build arch < <("$here/wine-world.sh" tree "$1")
"$here/wine-world.sh" start "$build" "$arch" || exit 1
eval "$("$here/wine-world.sh" env "$build" "$arch")"
"$SONABELL_WINE_LOADER" reg delete 'HKLM\Software\tinderwick_ software\Sonabell\Sounds' /f >/dev/null 2>&1
exit 0
