#!/usr/bin/env bash
# The Wine world of one build tree: its own WINEPREFIX, a persistent
# wineserver and an Xvfb display, started lazily and stopped on request.
#   wine-world.sh start <build-dir> <win32|win64>
#   wine-world.sh stop  <build-dir>
#   wine-world.sh env   <build-dir> <win32|win64>   (prints export lines)
#   wine-world.sh tree  <exe>   (prints the exe's build tree and its arch)
# Everything it starts sends its output to log files in <build-dir>/wine-world,
# so nothing holds a caller's pipe open.
set -euo pipefail

world_dir() { echo "$1/wine-world"; }

world_env() {
  local build=$1 arch=$2 dir
  dir=$(world_dir "$build")
  export WINEPREFIX="$dir/prefix-$arch"
  export WINEARCH="$arch"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe="
  if [ "$arch" = win64 ]; then
    export SONABELL_WINE_LOADER=/usr/lib/wine/wine64
  else
    export SONABELL_WINE_LOADER=/usr/lib/wine/wine
  fi
  if [ -f "$dir/display" ]; then
    export DISPLAY=":$(cat "$dir/display")"
  fi
}

server_binary() {
  if [ -x /usr/lib/wine/wineserver64 ]; then echo /usr/lib/wine/wineserver64; else echo /usr/lib/wine/wineserver32; fi
}

# Is a wineserver running for $WINEPREFIX?
server_running() {
  local pid
  for pid in $(pgrep -f '^/usr/lib/wine/wineserver' 2>/dev/null); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      return 0
    fi
  done
  return 1
}

alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

world_start() {
  local build=$1 arch=$2 dir
  dir=$(world_dir "$build")
  mkdir -p "$dir"
  exec 9>"$dir/lock"
  flock 9
  # Xvfb picks a free display itself and reports it on a descriptor.
  if ! alive "$dir/xvfb.pid"; then
    rm -f "$dir/display"
    Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp \
      8>"$dir/display.tmp" >"$dir/xvfb.log" 2>&1 </dev/null &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 100); do
      [ -s "$dir/display.tmp" ] && break
      sleep 0.05
    done
    tr -d '\n' <"$dir/display.tmp" >"$dir/display"
    rm -f "$dir/display.tmp"
  fi
  world_env "$build" "$arch"
  if [ ! -f "$WINEPREFIX/.sonabell-ready" ]; then
    if [ "$arch" = win32 ] && [ -z "${SONABELL_LANE32:-}" ] && ! "$(dirname "$0")/can-run-win32.sh"; then
      echo "wine-world: this machine cannot run 32-bit code; run the 32-bit tree's Wine tests in the 32-bit lane (bash scripts/lane32-tests.sh)" >&2
      exit 1
    fi
    rm -rf "$WINEPREFIX"
    "$SONABELL_WINE_LOADER" wineboot -i >"$dir/wineboot.log" 2>&1 </dev/null || true
    # No window manager runs under Xvfb: unmanaged windows start ~10x faster.
    "$SONABELL_WINE_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    # Wine does not look in Debian's fonts-wine folder: give dialogs real fonts.
    if [ -d /usr/share/wine/fonts ]; then
      cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    "$(server_binary)" -w
    touch "$WINEPREFIX/.sonabell-ready"
  fi
  # A persistent server keeps later starts fast; -p600 lets it end by itself
  # ten minutes after its last client should nobody stop it. The services
  # Wine starts with the first client inherit that client's output: start them
  # here with a log file, so they never hold a test runner's pipe open.
  if ! server_running; then
    "$(server_binary)" -p600 >"$dir/wineserver.log" 2>&1 </dev/null || true
    "$SONABELL_WINE_LOADER" wineboot >>"$dir/wineboot.log" 2>&1 </dev/null || true
  fi
  flock -u 9
}

world_stop() {
  local build=$1 dir arch
  dir=$(world_dir "$build")
  [ -d "$dir" ] || return 0
  for arch in win32 win64; do
    if [ -d "$dir/prefix-$arch" ]; then
      WINEPREFIX="$dir/prefix-$arch" "$(server_binary)" -k >/dev/null 2>&1 || true
    fi
  done
  if alive "$dir/xvfb.pid"; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
  fi
  rm -f "$dir/xvfb.pid" "$dir/display"
}

# The build tree an executable belongs to (SONABELL_BUILD_DIR, else the
# nearest folder above it with a CMakeCache.txt) and whether it is 32- or
# 64-bit (the PE header's machine field).
exe_tree() {
  local exe=$1 d build arch
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
  echo "$build $arch"
}

case "${1:-}" in
  tree) exe_tree "$2" ;;
  start) world_start "$2" "$3" ;;
  stop) world_stop "$2" ;;
  env) world_env "$2" "$3"; env | grep -E '^(WINEPREFIX|WINEARCH|WINEDEBUG|WINEDLLOVERRIDES|SONABELL_WINE_LOADER|DISPLAY)=' | sed 's/^/export /' ;;
  *) echo "usage: $0 start|stop|env <build-dir> [win32|win64] | tree <exe>" >&2; exit 2 ;;
esac
