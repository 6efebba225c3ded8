#!/usr/bin/env bash
# Builds libogg, libopus and libopusfile from Debian's source packages (fetched
# by bootstrap.sh into .deps/src) as static libraries for one compiler:
#   build-codec-libs.sh <triplet>
# where <triplet> is i686-w64-mingw32, x86_64-w64-mingw32 or "host" (the
# native and fuzz trees). The result goes to .deps/<triplet>/{include,lib};
# a finished build leaves a stamp naming the sources, and is not redone.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
src="$top/.deps/src"
triplet=$1
ogg=$(find "$src" -maxdepth 1 -type d -name 'libogg-*' | sort | tail -n 1)
opus=$(find "$src" -maxdepth 1 -type d -name 'opus-*' | sort | tail -n 1)
opusfile=$(find "$src" -maxdepth 1 -type d -name 'opusfile-*' | sort | tail -n 1)
[ -n "$ogg" ] && [ -n "$opus" ] && [ -n "$opusfile" ] || {
  echo "build-codec-libs: the sources are missing from $src (run scripts/bootstrap.sh)" >&2
  exit 1
}
prefix="$top/.deps/$triplet"
stamp="$prefix/stamp"
want="$(basename "$ogg") $(basename "$opus") $(basename "$opusfile")"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi

if [ "$triplet" = host ]; then
  cc=cc ar=ar cross=()
  # The native trees are position-independent executables.
  cflags="-O2 -fPIC"
else
  cc=$triplet-gcc-posix ar=$triplet-ar
  cross=(-DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$triplet-g++-posix"
         -DCMAKE_RC_COMPILER="$triplet-windres" -DCMAKE_AR="$(command -v "$ar")"
         -DCMAKE_FIND_ROOT_PATH=/usr/$triplet -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER)
  cflags="-O2"
  # The product's 32-bit code keeps to SSE2, as the rest of the DLL does.
  [ "$triplet" = i686-w64-mingw32 ] && cflags="$cflags -msse2 -mfpmath=sse"
fi
work="$top/.deps/build/$triplet"
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix/lib" "$prefix/include"

cmake_lib() { # <source> <build> <options...>
  local from=$1 to=$2
  shift 2
  cmake --no-warn-unused-cli -S "$from" -B "$to" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_INSTALL_PREFIX="$prefix" "${cross[@]}" "$@" >/dev/null
  cmake --build "$to" -j2 >/dev/null
  cmake --install "$to" >/dev/null
}

cmake_lib "$ogg" "$work/ogg" -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
# opus 1.3.1's release tarball lacks the file its CMake build includes to set
# a default build type; the type is given here, so an empty one serves, in a
# copy of the sources (the unpacked package stays as Debian made it).
cp -r "$opus" "$work/opus-src"
[ -f "$work/opus-src/opus_buildtype.cmake" ] || : >"$work/opus-src/opus_buildtype.cmake"
# No stack protector: on Windows it would need libssp beside the DLL.
cmake_lib "$work/opus-src" "$work/opus" -DOPUS_STACK_PROTECTOR=OFF -DOPUS_BUILD_PROGRAMS=OFF \
  -DOPUS_INSTALL_PKG_CONFIG_MODULE=OFF -DOPUS_INSTALL_CMAKE_CONFIG_MODULE=OFF

# opusfile has no CMake build; its four files need no configuration beyond
# leaving out the HTTP streaming, which the engine never uses.
objs=()
for f in info internal opusfile stream; do
  # shellcheck disable=SC2086
  "$cc" $cflags -DOP_DISABLE_HTTP -I"$opusfile/include" -I"$prefix/include" -I"$prefix/include/opus" \
    -c "$opusfile/src/$f.c" -o "$work/opusfile-$f.o"
  objs+=("$work/opusfile-$f.o")
done
rm -f "$prefix/lib/libopusfile.a"
"$ar" rcs "$prefix/lib/libopusfile.a" "${objs[@]}"
mkdir -p "$prefix/include/opus"
cp "$opusfile/include/opusfile.h" "$prefix/include/opus/"
# Debian installs the libraries under lib/<multiarch> on some hosts.
find "$prefix" -mindepth 2 -name '*.a' -not -path "$prefix/lib/*.a" -exec mv {} "$prefix/lib/" \;
rm -rf "$work"
echo "$want" >"$stamp"
