#!/usr/bin/env bash
# Generates the audio test media into a build tree, from nothing but Debian's
# tools: espeak-ng and sox make the source signal, lame, twolame, oggenc and
# flac encode it, and mpg123, oggdec, flac and sox make the reference decodes
# (16-bit signed little-endian stereo at 44,100 Hz, *.ref.raw) that the
# engine's output is compared with.
#   make-test-media.sh <dir>          the small clips the tests use
#   make-test-media.sh <dir> bench    also the long files the bench streams
set -euo pipefail
# sox dithers with random noise; repeatable mode makes every tree's media the
# same bytes, so a failure seen once can be seen again.
export SOX_OPTS=-R
out=$1
mode=${2:-tests}
mkdir -p "$out"
cd "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ref() { # <input> <reference>: a decode by sox
  sox -q "$1" -t raw -e signed -b 16 -L -c 2 -r 44100 "$2"
}

# Speech on the left, a quieter tone gliding upwards on the right: an
# aperiodic signal, so the offset between a decode and its reference is unique,
# and two different channels, so a swap or a downmix shows.
espeak-ng -s 170 -w "$tmp/speech.wav" "Sonabell plays every format"
sox -q "$tmp/speech.wav" -r 44100 -c 1 -b 16 "$tmp/left.wav" trim 0 1.2 pad 0 0.1
sox -q -n -r 44100 -c 1 -b 16 "$tmp/right.wav" synth 1.3 sine 300-1200 vol 0.3
sox -q -M "$tmp/left.wav" "$tmp/right.wav" -b 16 clip.wav

sox -q clip.wav -t raw -e signed -b 16 -L clip.raw
cp clip.raw clip.raw.ref.raw
sox -q clip.wav -e floating-point -b 32 clip-float.wav
ref clip-float.wav clip-float.wav.ref.raw
sox -q clip.wav -e ima-adpcm clip-ima.wav
ref clip-ima.wav clip-ima.wav.ref.raw
sox -q clip.wav -e ms-adpcm clip-ms.wav
ref clip-ms.wav clip-ms.wav.ref.raw
ref clip.wav clip.wav.ref.raw

lame --quiet -b 128 clip.wav clip.mp3
mpg123 -q -e s16 -r 44100 -s clip.mp3 > clip.mp3.ref.raw
twolame --quiet -b 192 clip.wav clip.mp2
mpg123 -q -e s16 -r 44100 -s clip.mp2 > clip.mp2.ref.raw
oggenc --quiet -q 5 -o clip.ogg clip.wav
oggdec --quiet -R -b 16 -e 0 -s 1 -o clip.ogg.ref.raw clip.ogg
flac --silent --force -o clip.flac clip.wav
flac --silent --force -d --force-raw-format --endian=little --sign=signed \
  -o clip.flac.ref.raw clip.flac

# The content decides, not the name.
cp clip.mp3 mp3-named.wav
cp clip.mp3.ref.raw mp3-named.wav.ref.raw
cp clip.ogg ogg-named.raw
cp clip.ogg.ref.raw ogg-named.raw.ref.raw

# AIFF and AIFF-C (uncompressed), read by the WAV reader.
sox -q clip.wav clip.aiff
ref clip.aiff clip.aiff.ref.raw
sox -q clip.wav clip.aifc
ref clip.aifc clip.aifc.ref.raw

# Steady tones in the formats that come from elsewhere than our own decoders'
# usual set, each judged for length and pitch: fmt-<name>-<hz>-<ms>.<ext>.
# ffmpeg without its version and dates in the files: the same bytes each time.
ff() { # <input> <output options and file...>
  local in=$1
  shift
  ffmpeg -nostdin -loglevel error -y -i "$in" -map_metadata -1 -fflags +bitexact -flags:a +bitexact "$@"
}
tone() { # <rate> <channels> <hz> <ms> <output>
  sox -q -n -r "$1" -c "$2" -b 16 "$5" synth "$(awk -v ms="$4" 'BEGIN { print ms / 1000 }')" \
    sine "$3" vol 0.5
}
tone 44100 2 1000 1000 "$tmp/t44s.wav"
sox -q "$tmp/t44s.wav" fmt-aiff-1000-1000.aiff
sox -q "$tmp/t44s.wav" fmt-aifc-1000-1000.aifc
tone 48000 1 440 1500 "$tmp/t48m.wav"
tone 48000 2 1000 1500 "$tmp/t48s.wav"
# Opus: a mono voice setting, and stereo as music is encoded.
ff "$tmp/t48m.wav" -c:a libopus -b:a 24k -application voip fmt-opusvoice-440-1500.opus
ff "$tmp/t48s.wav" -c:a libopus -b:a 128k -application audio fmt-opusmusic-1000-1500.opus
tone 44100 2 1000 1500 "$tmp/t44l.wav"
tone 48000 1 440 1500 "$tmp/t48ml.wav"
ff "$tmp/t44l.wav" -c:a wmav1 -b:a 128k fmt-wma1-1000-1500.wma
ff "$tmp/t44l.wav" -c:a wmav2 -b:a 128k fmt-wma2-1000-1500.wma
ff "$tmp/t44l.wav" -c:a wmav2 -b:a 96k -f asf fmt-asf-1000-1500.asf
ff "$tmp/t44l.wav" -c:a aac -b:a 128k fmt-m4a44-1000-1500.m4a
ff "$tmp/t48ml.wav" -c:a aac -b:a 64k fmt-m4a48-440-1500.m4a

# A mono file at another rate, which the engine converts.
sox -q clip.wav -c 1 -r 22050 mono-22050.wav

# A longer steady tone for the tests that replace or close a playing stream.
sox -q -n -r 44100 -c 2 -b 16 "$tmp/long.wav" synth 4 sine 440 vol 0.5
lame --quiet -b 128 "$tmp/long.wav" long-440.mp3
sox -q -n -r 44100 -c 2 -b 16 "$tmp/short.wav" synth 0.5 sine 2000 vol 0.5
lame --quiet -b 128 "$tmp/short.wav" short-2000.mp3

# The device lane's tone: heard at a sound server's sink, it is judged for
# length, pitch, level and gaps against its reference decode.
sox -q -n -r 44100 -c 2 -b 16 "$tmp/tone.wav" synth 3 sine 1000 vol 0.5
lame --quiet -b 192 "$tmp/tone.wav" tone-1k.mp3
mpg123 -q -e s16 -r 44100 -s tone-1k.mp3 > tone-1k.mp3.ref.raw
# A rising sweep: heard again from an earlier point, its pitch would fall.
sox -q -n -r 44100 -c 2 -b 16 sweep-rising.wav synth 3 sine 200-3000 vol 0.5

# Evening out the loudness: the same tone about 20 dB apart (about -9 and
# -29 LUFS), speech, a noise burst; a quiet tone with one full-scale click; a
# 0.2 s blip, a sound shorter than one decode block, silence; and a minute
# that is measured only in part, with a full-scale click after that part.
sox -q -n -r 44100 -c 2 -b 16 even-tone-loud.wav synth 2 sine 1000 vol 0.355
sox -q -n -r 44100 -c 2 -b 16 even-tone-quiet.wav synth 2 sine 1000 vol 0.0355
sox -q "$tmp/speech.wav" -r 44100 -c 2 -b 16 even-speech.wav trim 0 1.5 norm -6
sox -q -n -r 44100 -c 2 -b 16 even-noise.wav synth 1 pinknoise vol 0.5
printf '\377\177%.0s' $(seq 8) | sox -q -t raw -r 44100 -e signed -b 16 -c 2 - "$tmp/click.wav"
sox -q -n -r 44100 -c 2 -b 16 "$tmp/quiet1.wav" synth 1 sine 440 vol 0.01
sox -q "$tmp/quiet1.wav" "$tmp/click.wav" "$tmp/quiet1.wav" even-click.wav
sox -q -n -r 44100 -c 2 -b 16 even-blip.wav synth 0.2 sine 880 vol 0.1
sox -q -n -r 44100 -c 2 -b 16 even-tiny.wav synth 0.015 sine 880 vol 0.1
sox -q -D -n -r 44100 -c 2 -b 16 even-silent.wav trim 0 1
sox -q -n -r 44100 -c 2 -b 16 "$tmp/q11.wav" synth 11 sine 440 vol 0.05
sox -q -n -r 44100 -c 2 -b 16 "$tmp/q49.wav" synth 49 sine 440 vol 0.05
sox -q "$tmp/q11.wav" "$tmp/click.wav" "$tmp/q49.wav" "$tmp/even-long.wav"
lame --quiet -b 128 "$tmp/even-long.wav" even-long.mp3

if [ "$mode" = bench ]; then
  # Music-like material: a chord with a slow tremolo and some noise, so the
  # encoder works as it would on real sound.
  make_long() { # <seconds> <output.mp3>
    sox -q -n -r 44100 -c 2 -b 16 "$tmp/long-src.wav" \
      synth "$1" sine 220 sine 277 sine 330 pinknoise tremolo 3 40 vol 0.3
    lame --quiet -b 128 "$tmp/long-src.wav" "$2"
  }
  make_long 60 bench-60s.mp3
  make_long 600 bench-10min.mp3
  make_long 10 bench-10s.mp3
  make_long 2 bench-2s.mp3
  for n in 2 10 60; do
    lame --quiet --decode bench-${n}s.mp3 "$tmp/dec.wav"
    oggenc --quiet -q 5 -o bench-${n}s.ogg "$tmp/dec.wav"
  done
fi
touch "stamp-$mode"
