#!/usr/bin/env bash
# The device lane's sound world for one build tree: a private PulseAudio
# daemon (its own runtime folder, no autospawn, nothing of the user's) with
# one null sink, the sink's monitor recorded with time stamps, and the tree's
# Wine prefix told to use PulseAudio. Tests reach the daemon through the
# PULSE_SERVER that `env` prints.
#   pulse-world.sh start <build-dir> <win32|win64>
#   pulse-world.sh stop  <build-dir>
#   pulse-world.sh env   <build-dir>        (prints export lines)
# Faults the device tests cause; each creates the file <marker>, when given,
# once it is complete (a Windows process cannot wait for a Unix one it starts),
# holding "ok" or what went wrong, and exits non-zero when the lane could not
# do what was asked:
#   pulse-world.sh sink-off <build-dir> [marker]   remove the sink (the device disappears)
#   pulse-world.sh sink-on  <build-dir> [marker]   add it back
#   pulse-world.sh crash    <build-dir> [marker]   kill -9 the daemon
#   pulse-world.sh revive   <build-dir> [marker]   start the daemon again (with the sink)
#   pulse-world.sh stall    <build-dir> [marker]   stop the daemon for 1.2 s, as an
#                                                  overloaded machine may (returns at once)
# And what the sink plays now, written to the marker as "streams <running> <corked>"
# (the playback streams whose sound goes on, and those paused), or what went wrong:
#   pulse-world.sh streams  <build-dir> [marker]
# The recording, <dir>/monitor.rec, is a sequence of records: CLOCK_MONOTONIC_RAW
# nanoseconds (8 bytes), a byte count (4 bytes), then that many bytes of
# 16-bit stereo PCM at 48,000 Hz. A new sink or daemon appends a new run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
rate=48000

world_dir() { echo "$1/pulse-world"; }

pulse_env() {
  local dir
  dir=$(world_dir "$1")
  export XDG_RUNTIME_DIR="$dir/runtime"
  export PULSE_RUNTIME_PATH="$dir/runtime"
  export PULSE_STATE_PATH="$dir/state"
  export PULSE_SERVER="unix:$dir/runtime/native"
  export PULSE_CLIENTCONFIG="$dir/client.conf"
  export PULSE_COOKIE="$dir/state/cookie"
}

# Is this process running? A zombie is not: what this script starts outlives
# it, and whoever inherits the process may reap it late.
running() { [ -r "/proc/$1/stat" ] && [ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" != Z ]; }
alive() { [ -f "$1" ] && running "$(cat "$1")"; }

# Runs a command in the background, in a session of its own and with none of
# our descriptors but 0-2: whoever started this script (a test under Wine
# among them) may be waiting for its own pipes to close, and a test that times
# out must not take the world down with it.
detached() {
  (
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      if [ "$fd" -gt 2 ]; then eval "exec $fd>&-"; fi
    done
    exec setsid "$@"
  ) &
}

# Waits until the daemon answers (true) or 5 s have passed (false).
wait_ready() {
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}

daemon_start() { # dir
  local dir=$1
  {
    echo "load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/runtime/native"
    echo "load-module module-null-sink sink_name=sb rate=$rate"
    echo "set-default-sink sb"
  } >"$dir/default.pa"
  # A private daemon for this tree: no default script, no realtime scheduling
  # (it shares the machine with builds), never exiting while idle.
  HOME="$dir/home" detached pulseaudio --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --system=no --realtime=no -n -F "$dir/default.pa" --log-target="file:$dir/pulseaudio.log" \
    </dev/null >>"$dir/pulseaudio.out" 2>&1
  echo $! >"$dir/pulse.pid"
  wait_ready || { echo "pulse-world: the daemon did not start (see $dir/pulseaudio.log)" >&2; return 1; }
}

has_sink() { pactl list short sinks 2>/dev/null | grep -q '^[0-9]*[[:space:]]sb[[:space:]]'; }

recorder_start() {
  local dir=$1
  recorder_stop "$dir"
  has_sink || return 0
  # shellcheck disable=SC2016 # expanded by the recorder's own shell
  detached bash -c 'parec --device=sb.monitor --format=s16le --rate="$2" --channels=2 \
      --latency-msec=5 --raw | "$0" >>"$1"' "$dir/sb-stamp-recorder" "$dir/monitor.rec" "$rate" \
    </dev/null >/dev/null 2>>"$dir/parec.log"
  echo $! >"$dir/recorder.pid"
  # parec is up when the daemon lists its source output, and recording once
  # the sink's first samples reached the file: a null sink that was just
  # added renders nothing for up to 2 s, which a real device coming back
  # does not do, and what played meanwhile would be neither heard nor recorded.
  local size up=0
  size=$(stat -c %s "$dir/monitor.rec")
  for _ in $(seq 200); do
    if [ $up = 0 ] && pactl list short source-outputs 2>/dev/null | grep -q .; then up=1; fi
    if [ $up = 1 ] && [ "$(stat -c %s "$dir/monitor.rec")" -gt "$size" ]; then return 0; fi
    alive "$dir/recorder.pid" || break
    sleep 0.05
  done
  echo "pulse-world: the recorder (parec) did not come up or recorded nothing (see $dir/parec.log)" >&2
  return 1
}

recorder_stop() {
  local dir=$1 pid
  if alive "$dir/recorder.pid"; then
    pid=$(cat "$dir/recorder.pid")
    # parec first; the stamper ends at the pipe's end, then the shell.
    pkill -TERM -P "$pid" parec 2>/dev/null || true
    for _ in $(seq 100); do running "$pid" || break; sleep 0.02; done
    pkill -KILL -P "$pid" 2>/dev/null || true
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/recorder.pid"
}

build_recorder() {
  local dir=$1 src="$here/../tests/device/stamp_recorder.c"
  if [ ! -x "$dir/sb-stamp-recorder" ] || [ "$src" -nt "$dir/sb-stamp-recorder" ]; then
    cc -O2 -o "$dir/sb-stamp-recorder" "$src"
  fi
}

world_start() {
  local build=$1 arch=$2 dir
  dir=$(world_dir "$build")
  mkdir -p "$dir/runtime" "$dir/state" "$dir/home"
  chmod 700 "$dir/runtime"
  exec 9>"$dir/lock"
  flock 9
  pulse_env "$build"
  echo "autospawn = no" >"$dir/client.conf"
  build_recorder "$dir"
  if ! alive "$dir/pulse.pid"; then
    : >"$dir/monitor.rec"
    daemon_start "$dir"
  fi
  # A daemon left running without its recorder is not a lane to test in.
  alive "$dir/recorder.pid" || recorder_start "$dir"
  # The tree's prefix uses PulseAudio; a process finds this daemon only
  # through the PULSE_SERVER of the device tests.
  "$here/wine-world.sh" start "$build" "$arch" 9>&-
  (
    eval "$("$here/wine-world.sh" env "$build" "$arch")"
    "$SONABELL_WINE_LOADER" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f \
      >/dev/null 2>&1 </dev/null 9>&-
  )
  flock -u 9
}

world_stop() {
  local build=$1 dir
  dir=$(world_dir "$build")
  [ -d "$dir" ] || return 0
  recorder_stop "$dir"
  if alive "$dir/pulse.pid"; then
    kill "$(cat "$dir/pulse.pid")" 2>/dev/null || true
    for _ in $(seq 100); do alive "$dir/pulse.pid" || break; sleep 0.02; done
    if alive "$dir/pulse.pid"; then kill -9 "$(cat "$dir/pulse.pid")" 2>/dev/null || true; fi
  fi
  rm -f "$dir/pulse.pid"
}

# A fault that did not happen, or was not undone, is the lane's failure; it
# says so, so that it is not taken for the plug-in's.
fault() { # command, build-dir, marker
  local build=$2 marker=${3:-} dir problem= said=ok
  dir=$(world_dir "$build")
  pulse_env "$build"
  exec 9>"$dir/lock"
  flock 9
  case "$1" in
    sink-off)
      recorder_stop "$dir"
      pactl unload-module module-null-sink >/dev/null 2>&1 || true
      if has_sink; then problem="the sink is still there"; fi
      ;;
    sink-on)
      if ! has_sink; then
        { pactl load-module module-null-sink sink_name=sb rate=$rate >/dev/null &&
          pactl set-default-sink sb; } || problem="the sink could not be added back"
      fi
      [ -n "$problem" ] || recorder_start "$dir" || problem="the recorder (parec) did not come up or recorded nothing"
      ;;
    crash)
      recorder_stop "$dir"
      if alive "$dir/pulse.pid"; then kill -9 "$(cat "$dir/pulse.pid")" || true; fi
      for _ in $(seq 100); do alive "$dir/pulse.pid" || break; sleep 0.02; done
      if alive "$dir/pulse.pid"; then problem="the daemon outlived kill -9"; fi
      rm -f "$dir/pulse.pid" "$dir/runtime/native"
      ;;
    stall)
      if alive "$dir/pulse.pid"; then
        # Woken by a process of its own, so that it wakes whatever the test does.
        detached sh -c "sleep 1.2; kill -CONT $(cat "$dir/pulse.pid")"
        kill -STOP "$(cat "$dir/pulse.pid")" || problem="the daemon could not be stopped"
      else
        problem="no daemon to stop"
      fi
      ;;
    revive)
      alive "$dir/pulse.pid" || daemon_start "$dir" || problem="the daemon did not start again"
      [ -n "$problem" ] || recorder_start "$dir" || problem="the recorder (parec) did not come up or recorded nothing"
      ;;
    streams)
      local inputs
      if inputs=$(LC_ALL=C pactl list sink-inputs 2>&1); then
        said="streams $(grep -c 'Corked: no' <<<"$inputs" || true) $(grep -c 'Corked: yes' <<<"$inputs" || true)"
      else
        problem="pactl list sink-inputs failed: $inputs"
      fi
      ;;
  esac
  flock -u 9
  [ -z "$problem" ] || echo "pulse-world: $1: $problem: a failure of the device lane, not of the plug-in" >&2
  if [ -n "$marker" ]; then
    # Whole or not at all: the test polls for the file and reads it at once.
    echo "${problem:-$said}" >"$marker.part" && mv -f "$marker.part" "$marker"
  fi
  [ -z "$problem" ]
}

case "${1:-}" in
  start) world_start "$2" "$3" ;;
  stop) world_stop "$2" ;;
  env) pulse_env "$2"; env | grep -E '^(XDG_RUNTIME_DIR|PULSE_[A-Z_]+)=' | sed 's/^/export /' ;;
  sink-off | sink-on | crash | revive | streams | stall) fault "$1" "$2" "${3:-}" ;;
  *) echo "usage: $0 start|stop|env|sink-off|sink-on|crash|revive|streams|stall <build-dir> [win32|win64|marker]" >&2; exit 2 ;;
esac
