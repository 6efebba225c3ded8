#!/usr/bin/env bash
# Exit 0 when this machine can run 32-bit Wine natively. Some kernels (and
# sandboxes) cannot execute 32-bit code at all; a qemu binfmt handler would
# "run" it, but far too slowly for a test suite, so it does not count.
# SONABELL_FORCE_LANE32=1 answers "no" outside the 32-bit lane, so that a
# machine that could run them natively tests the lane's way instead.
if [ -n "${SONABELL_FORCE_LANE32:-}" ] && [ -z "${SONABELL_LANE32:-}" ]; then
  exit 1
fi
[ -x /usr/lib/wine/wine ] || exit 1
if grep -qs 'qemu-i386' /proc/sys/fs/binfmt_misc/* 2>/dev/null; then
  exit 1
fi
timeout 20 /usr/lib/wine/wine --version >/dev/null 2>&1
