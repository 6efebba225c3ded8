#!/usr/bin/env bash
# Brings a fresh Debian 12 machine (run as root) to a working Sonabell build.
# Idempotent: every step checks first and does nothing slow when it is done.
# The package manager's output goes to build/bootstrap.log; the screen shows
# one line of what is installed and a line per step.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
deps="$top/.deps"
log="$top/build/bootstrap.log"
# shellcheck source=steps.sh
. "$top/scripts/steps.sh"

need_pkgs=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 xvfb x11-utils imagemagick
  googletest libstb-dev
  sox libsox-fmt-mp3 lame twolame vorbis-tools flac espeak-ng mpg123 ffmpeg dpkg-dev
  gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
  nsis
  qemu-system-x86 linux-image-amd64 busybox-static
  pulseaudio pulseaudio-utils
)
# 32-bit Wine's PulseAudio driver needs the 32-bit client library: without it
# the 32-bit product has no sound device in the device lane. Wine's WMA and
# AAC decoders are GStreamer's, in each architecture's Wine.
need_i386_pkgs=(wine32:i386 libpulse0:i386 gstreamer1.0-plugins-good:i386
  gstreamer1.0-plugins-ugly:i386 gstreamer1.0-libav:i386)

missing=()
for p in "${need_pkgs[@]}" "${need_i386_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# "612 MB" from apt's "Need to get 612 MB of archives." and the like; of
# "Need to get 0 B/612 MB" (partly downloaded before) the whole, which is
# what unpacking takes time for.
apt_size() { sed -n -E "s/.*$1 ([0-9.,]+ [kMG]?B\/)?([0-9.,]+ [kMG]?B).*/\2/p" <<<"$2" | head -n 1; }

if [ ${#missing[@]} -gt 0 ]; then
  mkdir -p "$(dirname "$log")"
  : >"$log"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  step_run "bootstrap: [1/2] reading the package lists" "$log" apt-get update -q ||
    exit 1
  # apt's own figures for exactly what is missing, and a rough time from
  # them: on a 2-core machine unpacking dominates, about a quarter of a
  # second per MB fetched (the whole set, ~750 MB, takes 3 to 5 minutes).
  plan=$(LC_ALL=C apt-get install --assume-no --no-install-recommends "${missing[@]}" 2>&1 || true)
  echo "$plan" >>"$log"
  fetch=$(apt_size 'Need to get' "$plan")
  disk=$(apt_size 'After this operation,' "$plan")
  mb=$(awk -v s="${fetch:-0 MB}" 'BEGIN { split(s, a, " "); gsub(",", "", a[1]);
    f = a[2] == "GB" ? 1024 : a[2] == "kB" ? 1 / 1024 : a[2] == "B" ? 0 : 1; printf "%d", a[1] * f }')
  minutes=$(( (mb / 4 + 30 + 59) / 60 ))
  if [ ${#missing[@]} -le 6 ]; then
    what=${missing[*]}
  else
    what="Wine with GStreamer's codecs (64- and 32-bit), the MinGW-w64 cross compilers, Clang, CMake, Xvfb, NSIS and the audio tools (${#missing[@]} packages)"
  fi
  echo "bootstrap: installing $what: ${fetch:-?} to download, ${disk:-?} on disk, roughly $minutes min the first time (log: $log)"
  step_run "bootstrap: [2/2] installing the packages" "$log" \
    env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o APT::Status-Fd=1 "${missing[@]}" || exit 1
fi

# miniaudio is a single header that Debian 12 does not ship; Debian 13 does
# (libminiaudio-dev, architecture all). Fetch that package without touching
# the system's apt sources and unpack only the header.
fetch_miniaudio() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mirror=$( { sed -n -E 's/^URIs:[[:space:]]*([^ ]+).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null;
               sed -n -E 's/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^ ]+).*/\2/p' /etc/apt/sources.list 2>/dev/null; } \
             | grep -v -e security -e snapshot | head -n 1 || true)
  mirror=${mirror:-http://deb.debian.org/debian}
  echo "deb $mirror trixie main" > "$work/sources.list"
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
  aptopts=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
           -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
           -o Dir::State::Status=/dev/null -o Acquire::IndexTargets::deb::Contents-deb::DefaultEnabled=false
           -o APT::Architecture=amd64 -o APT::Architectures=amd64 -o APT::Sandbox::User=root)
  apt-get "${aptopts[@]}" update -q
  (cd "$work" && apt-get "${aptopts[@]}" download libminiaudio-dev)
  dpkg-deb -x "$work"/libminiaudio-dev_*.deb "$work/x"
  hdr=$(find "$work/x" -name miniaudio.h | head -n 1)
  mkdir -p "$deps/include"
  cp "$hdr" "$deps/include/miniaudio.h"
  dpkg-deb -f "$work"/libminiaudio-dev_*.deb Version > "$deps/include/miniaudio.version"
}
if [ ! -f "$deps/include/miniaudio.h" ]; then
  mkdir -p "$(dirname "$log")"
  step_run "bootstrap: fetching the miniaudio header (about 1 MB) from Debian's trixie suite" "$log" \
    fetch_miniaudio || exit 1
fi

# libopusfile, libopus and libogg from Debian's own source packages, built
# below for each compiler that builds the engine; libebur128 (the loudness
# measure), whose one C file CMake compiles into the engine. The source entry
# is a file of its own, so the system's sources stay as they are.
src_list=/etc/apt/sources.list.d/sonabell-deb-src.sources
fetch_sources() { # <source package>...
  if [ ! -f "$src_list" ]; then
    mirror=$(sed -n -E 's/^URIs:[[:space:]]*([^ ]+).*/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null |
      grep -v -e security | head -n 1 || true)
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    printf 'Types: deb-src\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s\n' \
      "${mirror:-http://deb.debian.org/debian}" "$suite" "$suite" \
      /usr/share/keyrings/debian-archive-keyring.gpg >"$src_list"
    apt-get update -q
  fi
  mkdir -p "$deps/src"
  (cd "$deps/src" && apt-get source -q "$@")
}
if ! ls -d "$deps"/src/libogg-*/ "$deps"/src/opus-*/ "$deps"/src/opusfile-*/ >/dev/null 2>&1; then
  mkdir -p "$(dirname "$log")"
  step_run "bootstrap: fetching the sources of libogg, libopus and libopusfile (about 2 MB)" "$log" \
    fetch_sources libogg opus opusfile || exit 1
fi
# A mirror that lacks the packaging half (debian.tar.xz) still hands over the
# upstream tarball, checked by apt against the package's .dsc: that is
# unpacked instead.
fetch_ebur128() {
  fetch_sources libebur128 && return 0
  orig=$(find "$deps/src" -maxdepth 1 -name 'libebur128_*.orig.tar.gz' | sort | tail -n 1)
  [ -n "$orig" ] && tar -xzf "$orig" -C "$deps/src" && echo "unpacked $orig"
}
if ! ls "$deps"/src/libebur128-*/ebur128/ebur128.c >/dev/null 2>&1; then
  mkdir -p "$(dirname "$log")"
  step_run "bootstrap: fetching the sources of libebur128 (about 0.1 MB)" "$log" \
    fetch_ebur128 || exit 1
fi
for triplet in i686-w64-mingw32 x86_64-w64-mingw32 host; do
  if [ ! -f "$deps/$triplet/stamp" ]; then
    mkdir -p "$(dirname "$log")"
    step_run "bootstrap: building libogg, libopus and libopusfile for $triplet (about a minute)" "$log" \
      bash "$top/scripts/build-codec-libs.sh" "$triplet" || exit 1
  fi
done

echo "bootstrap: ready (miniaudio $(cat "$deps/include/miniaudio.version"))"
