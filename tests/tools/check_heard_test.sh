#!/usr/bin/env bash
# check_heard.sh on captures made with sox from the sample sounds: it passes
# the five sounds heard in full, in order, and fails a capture that lacks one,
# cuts one short or plays one twice, which the total time alone lets pass.
#   check_heard_test.sh <sample soundpack folder>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
pack=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sounds=(hello.mp3 bye.mp3 lol.ogg chime.mp3 whistle.ogg)
# Each sound as the capture output writes it, with the quiet between sends.
for s in "${sounds[@]}"; do
  sox "$pack/$s" -r 48000 -c 2 -b 16 "$tmp/$s.wav" pad 0.2 0.3 || exit 1
done
sox "$tmp/hello.mp3.wav" "$tmp/cut.wav" trim 0 0.6 pad 0 0.9 || exit 1

failed=0
# case name, expected exit code, the capture's parts
check() {
  local name=$1 want=$2 parts=()
  shift 2
  for p in "$@"; do parts+=("$tmp/$p.wav"); done
  if [ ${#parts[@]} -eq 1 ]; then cp "${parts[0]}" "$tmp/capture.wav"; else sox "${parts[@]}" "$tmp/capture.wav"; fi
  local out
  out=$("$here/check_heard.sh" "$tmp/capture.wav" "${sounds[@]/#/$pack/}")
  local got=$?
  if [ "$got" -ne "$want" ]; then
    echo "FAIL: $name: check_heard.sh exited $got, expected $want:"
    printf '%s\n' "$out"
    failed=1
  else
    echo "ok: $name"
  fi
}
check "all five in order" 0 hello.mp3 bye.mp3 lol.ogg chime.mp3 whistle.ogg
check "the last never heard" 1 hello.mp3 bye.mp3 lol.ogg chime.mp3
check "one in the middle never heard" 1 hello.mp3 bye.mp3 chime.mp3 whistle.ogg
check "the first cut short" 1 cut bye.mp3 lol.ogg chime.mp3 whistle.ogg
check "the last played twice" 1 hello.mp3 bye.mp3 lol.ogg chime.mp3 whistle.ogg whistle.ogg
exit $failed
