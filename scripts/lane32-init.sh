#!/bin/busybox sh
# /init of the 32-bit lane's guest (scripts/lane32.sh packs it with a static
# busybox and the virtio and 9p modules). Mounts the host's "/" and the run's
# folder, gives the guest its own /tmp, /run, /dev/shm, proc, sys and dev,
# runs the job in the host's file system and powers off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev

say() { echo "$*" >/results/lane-error 2>/dev/null || echo "lane32 guest: $*" >/dev/console; }
finish() {
  echo "$1" >/results/rc
  sync
  poweroff -f
}

for m in $(cat /modules/order); do
  insmod "/modules/$m.ko" 2>/dev/null
done
opts=trans=virtio,version=9p2000.L,msize=512000
# Results must reach the host at once; the host's files may be cached (about
# 3x faster), so a file changed on the host while the guest runs may look old.
mount -t 9p -o "$opts,cache=none" results /results || { echo "lane32 guest: cannot mount the results folder" >/dev/console; poweroff -f; }
mount -t 9p -o "$opts,cache=loose" hostroot /host || { say "cannot mount the host's root file system"; finish 125; }

h=/host
# Keep a view of the host folders that the guest's own tmpfs will hide.
mkdir -p /scratch/hide
mount -t tmpfs -o size=64k tmpfs /scratch/hide
for d in tmp run dev/shm; do
  mkdir -p "/scratch/hide/$d"
  [ -d "$h/$d" ] && mount --bind "$h/$d" "/scratch/hide/$d"
done

mount -t proc proc "$h/proc"
mount -t sysfs sys "$h/sys"
mount -t devtmpfs dev "$h/dev"
mkdir -p "$h/dev/pts" "$h/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$h/dev/pts"
# What udev would add: bash's process substitution needs /dev/fd.
ln -sfn /proc/self/fd "$h/dev/fd"
ln -sfn /proc/self/fd/0 "$h/dev/stdin"
ln -sfn /proc/self/fd/1 "$h/dev/stdout"
ln -sfn /proc/self/fd/2 "$h/dev/stderr"
ln -sfn pts/ptmx "$h/dev/ptmx"
mount -t tmpfs -o mode=1777 tmpfs "$h/tmp"
mount -t tmpfs -o mode=0755 tmpfs "$h/run"
mount -t tmpfs -o mode=1777 tmpfs "$h/dev/shm"

# Shared host folders under the hidden ones come back at their own paths.
while read -r dir; do
  [ -n "$dir" ] || continue
  for d in tmp run dev/shm; do
    case $dir in
      /$d/*)
        mkdir -p "$h$dir"
        mount --bind "/scratch/hide$dir" "$h$dir" || { say "cannot share $dir"; finish 125; }
        ;;
    esac
  done
done </results/shares

mkdir -p "$h/run/lane32"
mount --bind /results "$h/run/lane32"
# Overlays for the job's Wine world need the module from the host's tree.
insmod "$h/lib/modules/$(uname -r)/kernel/fs/overlayfs/overlay.ko" 2>/dev/null

chroot "$h" /run/lane32/job >>/results/output 2>&1 </dev/null
finish $?
