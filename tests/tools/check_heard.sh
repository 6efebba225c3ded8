#!/usr/bin/env bash
# Checks that a capture of what the engine mixed holds the sounds it should:
# as much audible sound as the source files hold between them.
#   check_heard.sh <capture.wav> <sound file>...
# Audible: 10 ms blocks whose peak reaches 1% of full scale, measured the
# same way (sox, mono, 16 kHz) in the capture and in each source; they must
# agree within 15%.
set -uo pipefail
capture=$1
shift

audible() { # prints the audible seconds of a sound file
  sox "$1" -t s16 -c 1 -r 16000 - 2>/dev/null | od -An -td2 -v -w2 |
    awk '{ s = $1 < 0 ? -$1 : $1; if (s > peak) peak = s; n++
           if (n == 160) { if (peak >= 328) loud++; n = 0; peak = 0 } }
         END { printf "%.2f\n", loud / 100 }'
}

if [ ! -s "$capture" ]; then
  echo "FAIL: no capture at $capture"
  exit 1
fi
bytes=$(stat -c %s "$capture")
[ "$bytes" -gt 44 ] || { echo "FAIL: the capture $capture holds no audio"; exit 1; }
want=0
for f in "$@"; do
  a=$(audible "$f")
  echo "source $(basename "$f"): ${a} s audible"
  want=$(awk -v a="$want" -v b="$a" 'BEGIN { printf "%.2f", a + b }')
done
got=$(audible "$capture")
rate=$(od -An -tu4 -j24 -N4 "$capture" | tr -d ' ')
echo "capture: ${got} s audible of $(awk -v b="$bytes" -v r="$rate" 'BEGIN { printf "%.1f", (b - 44) / 4 / r }') s; the sources: ${want} s"
if awk -v g="$got" -v w="$want" 'BEGIN { exit !(w > 0 && g >= w * 0.85 && g <= w * 1.15) }'; then
  echo "heard: as expected"
else
  echo "FAIL: the capture holds ${got} s of audible sound, the sounds played ${want} s"
  exit 1
fi
