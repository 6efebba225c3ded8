#!/usr/bin/env bash
# The 32-bit lane's contract, on whatever machine runs the tests: a command's
# output and exit code come back, a 32-bit program runs in the guest, a
# command that outlives --timeout ends with a message and code 124, and
# nothing of a run is left behind.
#   lane_test.sh <scripts dir>
set -uo pipefail
scripts=$1
if [ -n "${SONABELL_LANE32:-}" ]; then
  echo "FAIL: run this test on the machine itself, not inside the 32-bit lane"
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

out=$(bash "$scripts/lane32.sh" --timeout 300 -- bash -c \
  'echo "out $(uname -m)"; /usr/lib/wine/wine --version; echo err >&2; exit 3' 2>&1)
code=$?
echo "$out"
[ $code -eq 3 ] || fail "exit code $code, expected the command's 3"
grep -qx 'out x86_64' <<<"$out" || fail "no output from the guest"
grep -qx 'err' <<<"$out" || fail "no error output from the guest"
grep -q '^wine-' <<<"$out" || fail "the 32-bit Wine loader did not run in the guest"

out=$(bash "$scripts/lane32.sh" --timeout 40 -- sleep 600 2>&1)
code=$?
echo "$out"
[ $code -eq 124 ] || fail "a command past its timeout ended with $code, expected 124"
grep -q 'did not finish within 40 s' <<<"$out" || fail "no message for the timeout"

if pgrep -f "$work/lane32\." >/dev/null; then
  fail "a process of the lane is still running: $(pgrep -af "$work/lane32\.")"
fi
left=$(find "$work" -mindepth 1)
[ -z "$left" ] || fail "the lane left files behind: $left"

[ $failures -eq 0 ] && echo "lane32: all passed"
exit $((failures != 0))
