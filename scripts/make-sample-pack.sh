#!/usr/bin/env bash
# Makes the sample soundpack in soundpacks/sample/: original sounds, spoken by
# espeak-ng or synthesised by sox, encoded as MP3 (lame) and Ogg Vorbis
# (oggenc). The results are committed; run this again only to change them.
set -euo pipefail
out=$(cd "$(dirname "$0")/.." && pwd)/soundpacks/sample
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

speak() { # name, words
  espeak-ng -v en-gb -s 150 -w "$tmp/$1-raw.wav" "$2"
  sox "$tmp/$1-raw.wav" -r 44100 -c 2 -b 16 "$tmp/$1.wav" norm -3 fade 0.01 0 0.05
}
speak hello "Hello there!"
speak bye "See you later!"
speak lol "Ha ha ha!"
# A two-note doorbell chime and a rising whistle.
sox -n -r 44100 -c 2 -b 16 "$tmp/a.wav" synth 0.35 pluck E5 fade 0 0.35 0.3
sox -n -r 44100 -c 2 -b 16 "$tmp/b.wav" synth 0.6 pluck C5 fade 0 0.6 0.5
sox "$tmp/a.wav" "$tmp/b.wav" -b 16 "$tmp/chime.wav" norm -3
sox -n -r 44100 -c 2 -b 16 "$tmp/whistle.wav" synth 0.5 sine 600-1800 fade 0.05 0.5 0.1 norm -6

for s in hello bye chime; do lame --quiet -b 96 "$tmp/$s.wav" "$out/$s.mp3"; done
for s in lol whistle; do oggenc --quiet -q 3 -o "$out/$s.ogg" "$tmp/$s.wav"; done

cat >"$out/install.ini" <<'INI'
; Sonabell sample soundpack. Copy this folder's sound files into the Sonabell
; sound folder, then pick this file in the soundpack dialog and press Install.
[Header]
TotalSounds=5

[Sound1]
SoundIndex=101
Command=hello
Filename=hello.mp3
Message=Hello there!

[Sound2]
SoundIndex=102
Command=bye
Filename=bye.mp3
Message=See you later!

[Sound3]
SoundIndex=103
Command=lol
Filename=lol.ogg
Message=Ha ha ha!

[Sound4]
SoundIndex=104
Command=ding
Filename=chime.mp3
Message=Ding dong!

[Sound5]
SoundIndex=105
Command=whistle
Filename=whistle.ogg
Message=Whee!
INI
ls -la "$out"
