#!/usr/bin/env bash
# The 32-bit product's Wine tests inside the 32-bit lane (scripts/lane32.sh),
# for machines whose kernel cannot run 32-bit code.
#   lane32-tests.sh [--all] [--build-dir DIR] [ctest arguments...]
# By default: every test that loads the built Sonabell.dll as the host does
# (entry points, the protocol, the listener's controls heard through the
# capture output, the host's thread and COM with the silent output, and the
# hostile inputs through the DLL), the host simulator's conversations and the
# installer with Sonabell-Setup.exe.
# --all: every Wine test of the tree. Further arguments go to ctest, e.g.
# -R 'ProtocolDll' to run a few. DIR is build/windows unless given; it must
# be built. Prints ctest's summary and the lane's own time.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build/windows
# Left out, as verdicts the emulated machine's pace decides rather than the
# product: the format table and its memory soak (Windows' codecs open in a
# tenth of a second natively and in seconds here, past the bound a received
# sound is answered in; what the lane keeps of the formats is
# ListenerDllTest.AiffAndOpusAreHeardThroughOurOwnReaders, which the labels
# below take in), and the LetFinish byte's replace case (a sound is
# answered once a device has taken its first frames, so the one it replaces
# is heard for as long as the emulated device takes to call back).
selection=(-L '^(dll_tests|protocol_dll_tests|listener_dll_tests|host_thread_tests|hardening_dll_tests|host_simulator|installer)$'
  -E '^ListenerDllTest\.(EveryFormat|HundredPlaysOfEachNewFormat|TheLetFinishByteDecides)')
what="the DLL, simulator and installer tests"
while [ $# -gt 0 ]; do
  case $1 in
    --all) selection=(-L '^wine$'); what="every Wine test"; shift ;;
    --build-dir) build=$(cd "$2" && pwd) || exit 2; shift 2 ;;
    *) break ;;
  esac
done
[ -f "$build/Sonabell.dll" ] || { echo "lane32-tests: no Sonabell.dll in $build: build the tree first" >&2; exit 2; }

echo "=== 32-bit lane: $what of $build, in an emulated machine (slow: minutes)"
start=$(date +%s)
# ctest lists each GoogleTest program's tests by running it; the lane starts
# the tree's Wine world first, so each listing takes seconds, not minutes.
bash "$top/scripts/lane32.sh" --world "$build" --timeout "${SONABELL_LANE32_TIMEOUT:-5400}" -- \
  ctest --test-dir "$build" -j1 --output-on-failure "${selection[@]}" "$@"
rc=$?
elapsed=$(($(date +%s) - start))
echo "=== 32-bit lane: $((elapsed / 60)) min $((elapsed % 60)) s, exit code $rc"
exit $rc
