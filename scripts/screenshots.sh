#!/bin/bash
# Takes a PNG picture of each of the plug-in's dialogs under the build tree's
# Wine world and Xvfb display, and writes them to docs/screenshots/ with the
# text each dialog showed beside it (<dialog>.txt): ScreenshotTextTest fails
# when a dialog no longer shows that text, until the pictures are retaken.
#   scripts/screenshots.sh [build-dir]     (default: build/windows64)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/windows64}" && pwd)
exe=$build/tests/ui/ui_screenshots.exe
out=$root/docs/screenshots
IMPORT=/usr/bin/import
CONVERT=/usr/bin/convert
cmake --build "$build" --target ui_screenshots >/dev/null
mkdir -p "$out"

arch=win64
case "$(basename "$build")" in windows) arch=win32 ;; esac
# Whatever this starts, it stops: a world that was up before stays up.
was_up=0
if [ -f "$build/wine-world/xvfb.pid" ] && kill -0 "$(cat "$build/wine-world/xvfb.pid")" 2>/dev/null; then
    was_up=1
fi
"$root/scripts/wine-world.sh" start "$build" "$arch"
eval "$("$root/scripts/wine-world.sh" env "$build" "$arch")"

work=$(mktemp -d)
finish() {
    rm -rf "$work"
    [ $was_up = 1 ] || "$root/scripts/wine-world.sh" stop "$build" >/dev/null 2>&1 || true
}
trap finish EXIT
for dialog in panel add soundpack about help options error confirm report; do
    marker=$work/$dialog.ready
    text=$out/$dialog.txt
    "$SONABELL_WINE_LOADER" "$exe" "$dialog" "Z:${marker//\//\\}" "Z:${text//\//\\}" \
        >"$work/$dialog.log" 2>&1 </dev/null &
    pid=$!
    for _ in $(seq 200); do
        [ -e "$marker" ] && break
        sleep 0.05
    done
    # The screen is black around the one dialog: trim it to the dialog.
    "$IMPORT" -window root "$work/$dialog.png"
    "$CONVERT" "$work/$dialog.png" -trim +repage "$out/$dialog.png"
    wait "$pid" || true
    echo "$out/$dialog.png"
done
