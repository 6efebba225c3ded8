#!/usr/bin/env bash
# Runs the engine bench: times the mpg123 tool decoding the same 60 s MP3
# natively, then starts the bench executable under Wine with that figure.
#   run-bench.sh <wine-exec.sh> <sonabell-bench.exe> <media dir>
# The Wine processes the run may leave behind (a persistent wineserver) would
# inherit its output and every other open descriptor, and a build tool waiting
# for the end of its output pipe would wait for them; so the run writes to a
# file, with every descriptor above 2 closed.
set -euo pipefail
wine_exec=$1
exe=$2
media=$3
runs=7
samples=()
for _ in $(seq $runs); do
  TIMEFORMAT='%3U %3S'
  t=$({ time mpg123 -q -t "$media/bench-60s.mp3" > /dev/null 2>&1; } 2>&1)
  samples+=("$(awk '{ printf "%.1f", ($1 + $2) * 1000 }' <<< "$t")")
done
median=$(printf '%s\n' "${samples[@]}" | sort -n | awk -v n=$runs 'NR == int(n / 2) + 1')
log="$media/bench.log"
status=0
(
  for fd in /proc/$BASHPID/fd/*; do
    fd=${fd##*/}
    if [ "$fd" -gt 2 ]; then eval "exec $fd>&-"; fi
  done
  exec "$wine_exec" "$exe" "Z:$media" "$median"
) > "$log" 2>&1 < /dev/null || status=$?
cat "$log"
exit $status
