#!/usr/bin/env bash
# Checks that a capture of what the engine mixed holds the sounds it should,
# each in full and in the order given:
#   check_heard.sh <capture.wav> <sound file>...
# Audible: 10 ms blocks whose peak reaches 1% of full scale, measured the
# same way (sox, mono, 16 kHz) in the capture and in each source. Each sound
# has its slot in the capture: from the first audible block after the slot
# before, as long as the sound's own audible span. A slot must hold the
# sound's audible time within 15%, and the whole capture the sum of them;
# nothing audible may follow the last slot.
set -uo pipefail
capture=$1
shift

# One line per 10 ms block of a sound file: 1 when audible, else 0.
blocks() {
  sox "$1" -t s16 -c 1 -r 16000 - 2>/dev/null | od -An -td2 -v -w2 |
    awk '{ s = $1 < 0 ? -$1 : $1; if (s > peak) peak = s; n++
           if (n == 160) { print (peak >= 328 ? 1 : 0); n = 0; peak = 0 } }'
}

if [ ! -s "$capture" ]; then
  echo "FAIL: no capture at $capture"
  exit 1
fi
bytes=$(stat -c %s "$capture")
[ "$bytes" -gt 44 ] || { echo "FAIL: the capture $capture holds no audio"; exit 1; }
# "name audible-blocks span-blocks" for each source, in order.
sources=$(for f in "$@"; do
  blocks "$f" | awk -v name="$(basename "$f")" '
    $1 { loud++; if (!first) first = NR; last = NR }
    END { print name, loud + 0, first ? last - first + 1 : 0 }'
done)
rate=$(od -An -tu4 -j24 -N4 "$capture" | tr -d ' ')
echo "capture: $(awk -v b="$bytes" -v r="$rate" 'BEGIN { printf "%.1f", (b - 44) / 4 / r }') s"
blocks "$capture" | SOURCES=$sources awk '
  { heard[NR - 1] = $1; total += $1 }
  END {
    n = split(ENVIRON["SOURCES"], line, "\n"); pos = 0; fail = 0
    for (i = 1; i <= n; i++) {
      split(line[i], f, " "); name = f[1]; want = f[2]; span = f[3]; want_all += want
      start = pos
      while (start < NR && !heard[start]) start++
      if (start >= NR) {
        printf "FAIL: %s (%.2f s audible) was never heard\n", name, want / 100; fail = 1; continue
      }
      # A block or two of slack: the capture and the file start on different block edges.
      end = start + span + 2; got = 0
      for (b = start; b < end && b < NR; b++) got += heard[b]
      pos = end
      ok = want > 0 && got >= want * 0.85 && got <= want * 1.15
      printf "%s %s: %.2f s audible in its slot at %.2f s, the file %.2f s\n",
        ok ? "heard" : "FAIL:", name, got / 100, start / 100, want / 100
      if (!ok) fail = 1
    }
    for (after = 0; pos < NR; pos++) after += heard[pos]
    if (after > 10) {
      printf "FAIL: %.2f s audible after the last sound\n", after / 100; fail = 1
    }
    ok = want_all > 0 && total >= want_all * 0.85 && total <= want_all * 1.15
    printf "%s the capture holds %.2f s of audible sound, the sounds %.2f s\n",
      ok ? "heard:" : "FAIL:", total / 100, want_all / 100
    exit fail || !ok
  }'
