#!/usr/bin/env bash
# The 32-bit lane: runs one command inside an emulated x86-64 machine whose
# kernel executes 32-bit code, for hosts whose kernel cannot. The guest is
# QEMU's TCG (no KVM needed) booting Debian's kernel with a tiny initramfs;
# its root file system is this machine's own "/" over virtio-9p, so the
# command sees the same programs, build trees and Wine, and its writes land
# here. /tmp, /run and /dev/shm are the guest's own.
#
#   lane32.sh [options] [--] COMMAND [ARG...]
#     --world BUILD-DIR  give the command BUILD-DIR's 32-bit Wine world: the
#                        prefix is made once (in BUILD-DIR/lane32) and each
#                        run sees a copy-on-write view of it, started and
#                        ready before COMMAND runs
#     --share DIR        a host folder under /tmp, /run or /dev/shm that the
#                        command needs (the current folder is shared anyway)
#     --timeout SECONDS  power the guest off after this long (default 3600)
#     --memory MB        the guest's memory (default 4096)
#   lane32.sh --check    exit 0 when the lane can run on this machine
#
# Prints the command's output as it comes and exits with its exit code; 124
# when it timed out, 125 when the lane itself failed. Nothing it started is
# left running when it returns.
set -uo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
lane_fail() {
  echo "lane32: $*" >&2
  exit 125
}

# The newest installed kernel with its modules.
find_kernel() {
  local k v
  for k in $(ls -1v /boot/vmlinuz-* 2>/dev/null | sort -rV); do
    v=${k#/boot/vmlinuz-}
    if [ -d "/lib/modules/$v/kernel" ]; then
      echo "$k $v"
      return 0
    fi
  done
  return 1
}

check() {
  command -v qemu-system-x86_64 >/dev/null || { echo "qemu-system-x86_64 is missing (Debian package qemu-system-x86)"; return 1; }
  local bb
  bb=$(command -v busybox) || { echo "busybox is missing (Debian package busybox-static)"; return 1; }
  # The guest's /init runs before any library is there.
  if LC_ALL=C readelf -l "$bb" 2>/dev/null | grep -q 'Requesting program interpreter'; then
    echo "$bb is not the static busybox (Debian package busybox-static)"
    return 1
  fi
  find_kernel >/dev/null || { echo "no kernel with modules under /boot (Debian package linux-image-amd64)"; return 1; }
}

timeout_s=3600 memory=4096 world="" shares=()
while [ $# -gt 0 ]; do
  case $1 in
    --check)
      why=$(check) || { echo "lane32: cannot run here: $why" >&2; exit 1; }
      exit 0
      ;;
    --world) world=$(cd "$2" 2>/dev/null && pwd) || lane_fail "no build tree $2"; shift 2 ;;
    --share) shares+=("$(cd "$2" 2>/dev/null && pwd)") || lane_fail "no folder $2"; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --memory) memory=$2; shift 2 ;;
    --timeout=* | --memory=* | --world=* | --share=*) set -- "${1%%=*}" "${1#*=}" "${@:2}" ;;
    --) shift; break ;;
    -*) lane_fail "unknown option $1 (see the head of $0)" ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || lane_fail "no command given (see the head of $0)"
[[ $timeout_s =~ ^[1-9][0-9]*$ ]] || lane_fail "--timeout takes whole seconds, not $timeout_s"
[[ $memory =~ ^[1-9][0-9]*$ ]] || lane_fail "--memory takes megabytes, not $memory"
why=$(check) || lane_fail "cannot run here: $why"
read -r kernel kver < <(find_kernel)
busybox=$(command -v busybox)

run=$(mktemp -d "${TMPDIR:-/tmp}/lane32.XXXXXX") || lane_fail "cannot make a folder for the run"
qemu_pid=""
tail_pid=""
cleanup() {
  [ -n "$tail_pid" ] && kill "$tail_pid" 2>/dev/null
  if [ -n "$qemu_pid" ] && kill -0 "$qemu_pid" 2>/dev/null; then
    kill "$qemu_pid" 2>/dev/null
    sleep 1
    kill -9 "$qemu_pid" 2>/dev/null
  fi
  wait 2>/dev/null
  rm -rf "$run"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- The initramfs: a static busybox as /init and the modules that reach the
# host's files. Made for each run: it takes well under a second.
make_initramfs() {
  local ir=$run/initramfs m
  mkdir -p "$ir/bin" "$ir/modules" "$ir/proc" "$ir/sys" "$ir/dev" "$ir/host" "$ir/results" "$ir/scratch"
  cp "$busybox" "$ir/bin/busybox"
  : >"$ir/modules/order"
  for m in $(for want in virtio_pci 9pnet_virtio 9p virtio_rng; do modprobe -S "$kver" --show-depends "$want"; done 2>/dev/null |
    awk '$1 == "insmod" && !seen[$2]++ {print $2}'); do
    case $m in
      *.xz) xz -dc "$m" >"$ir/modules/$(basename "${m%.xz}")" ;;
      *.zst) zstd -qdc "$m" >"$ir/modules/$(basename "${m%.zst}")" ;;
      *) cp "$m" "$ir/modules/" ;;
    esac
    basename "${m%.*}" >>"$ir/modules/order"
  done
  [ -s "$ir/modules/order" ] || lane_fail "no virtio/9p modules found for kernel $kver"
  cp "$top/scripts/lane32-init.sh" "$ir/init"
  chmod +x "$ir/init"
  (cd "$ir" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$run/initramfs.gz"
}

# --- The job: what the guest runs inside the host's file system.
write_job() {
  local job=$run/job q
  {
    echo '#!/bin/bash'
    # The caller's environment, less what names this machine's display,
    # session or audio server, which the guest does not have.
    echo 'while IFS= read -r -d "" lane_var; do'
    echo '  case ${lane_var%%=*} in'
    echo '    *[!A-Za-z0-9_]* | [0-9]* | DISPLAY | XAUTHORITY | WAYLAND_DISPLAY | DBUS_* | XDG_RUNTIME_DIR | \'
    echo '      PULSE_* | SSH_* | TMPDIR | WINESERVER | OLDPWD | PWD | SHLVL | _) ;;'
    echo '    *) export "$lane_var" ;;'
    echo '  esac'
    echo 'done </run/lane32/env'
    echo 'unset lane_var'
    echo 'export SONABELL_LANE32=1'
    printf 'cd %q || exit 125\n' "$PWD"
    if [ -n "$world" ]; then
      printf 'world=%q\n' "$world"
      printf 'scripts=%q\n' "$top/scripts"
      cat "$top/scripts/lane32-world.sh"
    fi
    printf 'exec'
    for q in "$@"; do printf ' %q' "$q"; done
    printf '\n'
  } >"$job"
  chmod +x "$job"
  env -0 >"$run/env"
  # Host folders the guest's own /tmp, /run or /dev/shm would hide.
  : >"$run/shares"
  for q in "$PWD" "${shares[@]}" ${world:+"$world"}; do
    case $q in /tmp | /tmp/* | /run | /run/* | /dev/shm | /dev/shm/*) echo "$q" >>"$run/shares" ;; esac
  done
}

make_initramfs
write_job "$@"
: >"$run/output"

start=$(date +%s)
# One vCPU: on a busy 2-core host two were about 3x slower. SMAP off: QEMU
# 7.2's TCG raises a false SMAP fault on a 32-bit user-mode iret, and the
# guest kernel then kills every 32-bit process.
timeout -k 10 "$timeout_s" qemu-system-x86_64 \
  -M pc -accel tcg,thread=multi -cpu max,smap=off,la57=off -smp 1 -m "$memory" \
  -nodefaults -no-reboot -display none -monitor none \
  -serial "file:$run/console.log" \
  -kernel "$kernel" -initrd "$run/initramfs.gz" \
  -append "console=ttyS0 quiet panic=-1 mitigations=off rdinit=/init" \
  -fsdev local,id=hostroot,path=/,security_model=passthrough,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=results,path="$run",security_model=passthrough \
  -device virtio-9p-pci,fsdev=results,mount_tag=results \
  -device virtio-rng-pci \
  </dev/null >"$run/qemu.log" 2>&1 &
qemu_pid=$!
tail -n +1 -s 0.5 -f --pid="$qemu_pid" "$run/output" &
tail_pid=$!
wait "$qemu_pid"
qemu_rc=$?
qemu_pid=""
wait "$tail_pid" 2>/dev/null
tail_pid=""
elapsed=$(($(date +%s) - start))

if [ "$qemu_rc" = 124 ] || [ "$qemu_rc" = 137 ]; then
  echo "lane32: the command did not finish within ${timeout_s} s; the guest was stopped" >&2
  exit 124
fi
if [ ! -s "$run/rc" ]; then
  echo "lane32: the guest ended without the command's exit code (QEMU exit $qemu_rc after ${elapsed} s)" >&2
  tail -n 30 "$run/console.log" "$run/qemu.log" >&2 2>/dev/null
  exit 125
fi
rc=$(cat "$run/rc")
if [ "$rc" = 125 ] && [ -s "$run/lane-error" ]; then
  echo "lane32: $(cat "$run/lane-error")" >&2
fi
exit "$rc"
