#!/usr/bin/env bash
# The whole test suite, from a fresh Debian 12 machine (as root) to ctest's
# summaries. Stops every process it started, also when tests fail.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/bootstrap.sh || exit 1

status=0
trees=()
cleanup() {
  for tree in "${trees[@]}"; do
    bash scripts/pulse-world.sh stop "$tree" >/dev/null 2>&1 || true
    bash scripts/wine-world.sh stop "$tree" >/dev/null 2>&1 || true
  done
}
trap cleanup EXIT

run() { # preset, ctest arguments...
  local preset=$1
  shift
  local log="$top/build/$preset-build.log"
  mkdir -p "$top/build"
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >"$log" 2>&1 && cmake --build --preset "$preset" >>"$log" 2>&1 || {
    tail -n 60 "$log"
    echo "=== $preset: build FAILED"
    status=1
    return 1
  }
  trees+=("$top/build/$preset")
  echo "=== $preset: tests"
  ctest --test-dir "build/$preset" --output-on-failure -j1 "$@" || status=1
}

# 1. Pure modules natively, under AddressSanitizer and UBSan.
run native -j2

# 2. Every libFuzzer target for a short smoke run under ASan/UBSan
#    (scripts/fuzz.sh runs them for longer).
run fuzz -L fuzz

# 3. The product, the 32-bit DLL: its file checks (PE32, exports, imports,
#    version) and, where the kernel runs 32-bit code, its Wine tests.
run windows

# 4. Where 32-bit code cannot run, the Wine tests run on the 64-bit build of
#    the same sources.
if ! bash scripts/can-run-win32.sh; then
  echo "=== this machine cannot run 32-bit code: Wine tests run on the 64-bit build"
  run windows64
else
  # 5. The device lane (real outputs into a private PulseAudio) runs in the 64-bit tree.
  run windows64 -L device
fi

exit $status
