#!/usr/bin/env bash
# Runs every libFuzzer target of the fuzz preset under AddressSanitizer and
# UBSan for a time budget each, and prints the executions each one reached.
#
#   scripts/fuzz.sh [SECONDS]                       configure, build, run (default 60 s)
#   scripts/fuzz.sh --no-build BUILD_DIR [SECONDS]  run the targets of a built tree
#
# A target's findings (crash-*, leak-*, timeout-* files) and its log go to
# BUILD_DIR/fuzz-runs/NAME/; its corpus grows in BUILD_DIR/fuzz-corpus/NAME/.
# Exits non-zero when any target finds something.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

build=$top/build/fuzz
if [ "${1:-}" = "--no-build" ]; then
  build=$(cd "$2" && pwd)
  shift 2
else
  cd "$top"
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null || {
    echo "fuzz.sh: the fuzz preset did not build" >&2
    exit 2
  }
fi
budget=${1:-60}

# The targets are the executables that link libFuzzer's entry point.
targets=()
while IFS= read -r exe; do
  if nm "$exe" 2>/dev/null | grep ' T LLVMFuzzerTestOneInput$' >/dev/null; then
    targets+=("$exe")
  fi
done < <(find "$build" -path "$build/fuzz-runs" -prune -o -path "$build/fuzz-corpus" -prune -o \
  -type f -name 'fuzz_*' -perm -u+x -print | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets in $build" >&2
  exit 2
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
printf '%-24s %12s %8s  %s\n' target executions seconds result
for exe in "${targets[@]}"; do
  name=$(basename "$exe")
  runs=$build/fuzz-runs/$name
  corpus=$build/fuzz-corpus/$name
  mkdir -p "$runs" "$corpus"
  log=$runs/fuzz.log
  start=$(date +%s)
  (cd "$runs" && "$exe" -max_total_time="$budget" -print_final_stats=1 "$corpus" >"$log" 2>&1)
  rc=$?
  seconds=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  if [ $rc -eq 0 ]; then
    result=clean
  else
    result="FINDING (exit $rc): see $log"
    status=1
  fi
  printf '%-24s %12s %8s  %s\n' "$name" "${execs:-?}" "$seconds" "$result"
done
exit $status
