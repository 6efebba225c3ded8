#!/usr/bin/env bash
# Runs the bench and prints its one table: times the mpg123 tool decoding
# the 60 s MP3 natively, runs the plug-in bench (when given) and the engine
# bench under Wine, and sorts the rows of both by the place each carries.
#   run-bench.sh <wine-exec.sh> <sonabell-bench.exe> <media dir> [<plugin-bench.exe> <product DLL>
#                [<device-bench.exe> <its DLL> <pulse-world.sh> <build dir> [<bare-output.exe>]]]
# The device bench plays into the device lane's PulseAudio world, which this
# script starts for it and stops again.
# The Wine processes the run may leave behind (a persistent wineserver) would
# inherit its output and every other open descriptor, and a build tool waiting
# for the end of its output pipe would wait for them; so the run writes to a
# file, with every descriptor above 2 closed.
set -euo pipefail
wine_exec=$1
exe=$2
media=$3

# Whatever the bench starts, it stops: the tree's Wine world (Xvfb and a
# persistent wineserver) is stopped at the end unless it was up before, for
# a ctest run or a simulator session that still needs it.
scripts=$(dirname "$wine_exec")
read -r tree _ < <("$scripts/wine-world.sh" tree "$exe")
world_was_up=0
if [ -f "$tree/wine-world/xvfb.pid" ] && kill -0 "$(cat "$tree/wine-world/xvfb.pid")" 2>/dev/null; then
  world_was_up=1
fi
stop_world() {
  if [ $world_was_up = 0 ]; then
    "$scripts/wine-world.sh" stop "$tree" >/dev/null 2>&1 || true
  fi
}
trap stop_world EXIT
runs=7
samples=()
for _ in $(seq $runs); do
  TIMEFORMAT='%3U %3S'
  t=$({ time mpg123 -q -t "$media/bench-60s.mp3" > /dev/null 2>&1; } 2>&1)
  samples+=("$(awk '{ printf "%.1f", ($1 + $2) * 1000 }' <<< "$t")")
done
median=$(printf '%s\n' "${samples[@]}" | sort -n | awk -v n=$runs 'NR == int(n / 2) + 1')
rows="$media/bench-rows.txt"
: > "$rows"
status=0
windows() { # runs a Windows program, its output through a file
  local log="$media/bench.log"
  (
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      if [ "$fd" -gt 2 ]; then eval "exec $fd>&-"; fi
    done
    exec "$wine_exec" "$@"
  ) > "$log" 2>&1 < /dev/null || status=$?
  grep -E '^[0-9]{4}\|' "$log" >> "$rows" || true
  grep -Ev '^[0-9]{4}\||^ALSA lib' "$log" >&2 || true
}
if [ $# -ge 5 ]; then
  windows "$4" "Z:$(echo "$media" | tr / '\\')" "$(stat -c %s "$5")"
fi
windows "$exe" "Z:$media" "$median"
if [ $# -ge 9 ]; then
  pulse_world=$8 tree=$9
  trap 'bash "$pulse_world" stop "$tree" >/dev/null 2>&1 || true; stop_world' EXIT
  bash "$pulse_world" start "$tree" win64
  eval "$(bash "$pulse_world" env "$tree")"
  if [ $# -ge 10 ]; then windows "${10}"; fi
  windows "$6" "Z:$(echo "$media" | tr / '\\')" "Z:$(echo "$7" | tr / '\\')"
  # The same DLL as an XP machine reaches its output: a copy of the bench
  # that Wine runs as on XP (no WASAPI, so DirectSound by falling back).
  xp_bench="${6%.exe}-xp.exe"
  cp "$6" "$xp_bench"
  (
    eval "$("$scripts/wine-world.sh" env "$tree" win64)"
    "$SONABELL_WINE_LOADER" reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$xp_bench")" \
      /v Version /d winxp64 /f >/dev/null 2>&1 </dev/null
  )
  windows "$xp_bench" "Z:$(echo "$media" | tr / '\\')" "Z:$(echo "$7" | tr / '\\')" xp
  bash "$pulse_world" stop "$tree"
fi

echo "Sonabell bench under Wine: medians of 3 to 9 runs; the real engine on its silent device,"
echo "and through Wine's outputs into a PulseAudio null sink (64-bit build)"
echo
printf '| %-62s | %15s |\n' "what" "median"
printf '|%s|%s|\n' "$(printf -- '-%.0s' $(seq 64))" "$(printf -- '-%.0s' $(seq 17))"
sort -n "$rows" | cut -c5-
exit $status
