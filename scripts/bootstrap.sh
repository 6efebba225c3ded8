#!/usr/bin/env bash
# Brings a fresh Debian 12 machine (run as root) to a working Sonabell build.
# Idempotent: every step checks first and does nothing slow when it is done.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
deps="$top/.deps"

need_pkgs=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 xvfb x11-utils imagemagick
  googletest libstb-dev
  sox libsox-fmt-mp3 lame twolame vorbis-tools flac espeak-ng mpg123
  nsis
  pulseaudio pulseaudio-utils
)
need_i386_pkgs=(wine32:i386)

missing=()
for p in "${need_pkgs[@]}" "${need_i386_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# miniaudio is a single header that Debian 12 does not ship; Debian 13 does
# (libminiaudio-dev, architecture all). Fetch that package without touching
# the system's apt sources and unpack only the header.
if [ ! -f "$deps/include/miniaudio.h" ]; then
  echo "bootstrap: fetching miniaudio from Debian's trixie suite"
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
  apt-get "${aptopts[@]}" update -q >/dev/null
  (cd "$work" && apt-get "${aptopts[@]}" download libminiaudio-dev >/dev/null)
  dpkg-deb -x "$work"/libminiaudio-dev_*.deb "$work/x"
  hdr=$(find "$work/x" -name miniaudio.h | head -n 1)
  mkdir -p "$deps/include"
  cp "$hdr" "$deps/include/miniaudio.h"
  dpkg-deb -f "$work"/libminiaudio-dev_*.deb Version > "$deps/include/miniaudio.version"
fi

echo "bootstrap: ready (miniaudio $(cat "$deps/include/miniaudio.version"))"
