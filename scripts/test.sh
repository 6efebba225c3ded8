#!/usr/bin/env bash
# The whole test suite, from a fresh Debian 12 machine (as root) to ctest's
# summaries. Stops every process it started, also when tests fail.
# Each step's output goes to a log under build/; the screen shows a line per
# step, every failed test with its output, and ctest's summary per tree.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
# shellcheck source=steps.sh
. "$top/scripts/steps.sh"

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

# What a ctest log shows of a run: each failed test with the start of its
# output, then ctest's own summary.
ctest_report() {
  awk '
    /^ *[0-9]+\/[0-9]+ Test +#|^ *Start +[0-9]+:/ { inFailure = 0 }
    /^ *[0-9]+\/[0-9]+ Test +#.*(\*\*\*|  Not Run)/ {
      inFailure = 1; lines = 0; print; next
    }
    /tests passed, .* tests failed out of/ { summary = 1; inFailure = 0 }
    summary { print; next }
    inFailure && lines < 40 { print "    " $0; lines++ }
    inFailure && lines == 40 { print "    ... (the rest is in the log)"; lines++ }
  ' "$1"
  # A ctest that stopped before its summary (a test list it could not read,
  # a lane that did not start) has failed in a way the lines above miss.
  grep -aq 'tests passed, .* tests failed out of\|No tests were found' "$1" || tail -n 30 "$1"
}

run() { # preset, ctest arguments...
  local preset=$1
  shift
  local log="$top/build/$preset-build.log" testlog="$top/build/$preset-test.log"
  mkdir -p "$top/build"
  : >"$log"
  step_run "=== $preset: configure" "$log" cmake --preset "$preset" &&
    step_run "=== $preset: build" "$log" nice cmake --build --preset "$preset" || {
    status=1
    return 1
  }
  trees+=("$top/build/$preset")
  : >"$testlog"
  # The report below shows the failures; the tail of the log would repeat them.
  steps_tail_lines=0 step_run "=== $preset: tests (every test's output goes to $testlog)" "$testlog" \
    ctest --test-dir "build/$preset" --output-on-failure -j1 "$@" || status=1
  ctest_report "$testlog"
}

# The 32-bit product's DLL, simulator and installer tests in the emulated
# lane, reported like a tree; the lane's own time comes last.
lane32() {
  local testlog="$top/build/windows-lane32-test.log"
  : >"$testlog"
  steps_tail_lines=0 step_run "=== windows: tests in the 32-bit lane (every test's output goes to $testlog)" \
    "$testlog" bash scripts/lane32-tests.sh || status=1
  # The lane's time is the log's last line: the report shows it either way,
  # after ctest's summary or in the tail of a run that has none.
  ctest_report "$testlog"
}

# 1. Pure modules natively, under AddressSanitizer and UBSan.
run native -j2

# 2. Every libFuzzer target for a short smoke run under ASan/UBSan
#    (scripts/fuzz.sh runs them for longer).
run fuzz -L fuzz

# 3. The product, the 32-bit DLL: its file checks (PE32, exports, imports,
#    version, stdcall pops) and, where the kernel runs 32-bit code, its Wine
#    tests, the device lane (real outputs into a private PulseAudio) among
#    them: the product itself through 32-bit Wine.
if bash scripts/can-run-win32.sh; then
  run windows
else
  # 4. Where 32-bit code cannot run: the Wine tests on the 64-bit build of the
  #    same sources, the device lane among them, and the product's own DLL,
  #    simulator and installer tests in the emulated 32-bit lane.
  run windows -LE wine && lane32
  echo "=== this machine cannot run 32-bit code: Wine tests run on the 64-bit build"
  run windows64
fi

exit $status
