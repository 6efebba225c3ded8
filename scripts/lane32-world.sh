# shellcheck shell=bash disable=SC2154
# Part of a 32-bit lane job (scripts/lane32.sh --world), run inside the guest
# with $world (a build tree) and $scripts set: gives the job that tree's
# 32-bit Wine world.
#
# The prefix is made once and kept in $world/lane32/world; every job sees it
# through an overlay whose upper layer lives on the guest's tmpfs, so the
# job's registry writes, logs and process ids vanish with the guest and the
# host's own $world/wine-world is never touched.
lane_store=$world/lane32/world
lane_view=$world/wine-world
lane_error() {
  echo "$*" >/run/lane32/lane-error
  exit 125
}
mkdir -p "$lane_store" "$lane_view" || lane_error "cannot make $lane_store"
if [ ! -f "$lane_store/prefix-win32/.sonabell-ready" ]; then
  echo "lane32: making the 32-bit Wine prefix of $world (once per build tree; minutes)"
  lane_made=$(date +%s)
  mount --bind "$lane_store" "$lane_view" || lane_error "cannot bind $lane_store"
  "$scripts/wine-world.sh" start "$world" win32 || lane_error "cannot make the 32-bit Wine prefix (logs in $lane_store)"
  "$scripts/wine-world.sh" stop "$world"
  # The guest's process ids and display mean nothing to a later guest.
  rm -f "$lane_view/xvfb.pid" "$lane_view/display" "$lane_view/lock"
  umount "$lane_view"
  [ -f "$lane_store/prefix-win32/.sonabell-ready" ] || lane_error "the 32-bit Wine prefix was not made (logs in $lane_store)"
  echo "lane32: prefix made in $(($(date +%s) - lane_made)) s"
fi
mkdir -p /tmp/lane32-world/upper /tmp/lane32-world/work
mount -t overlay overlay \
  -o "lowerdir=$lane_store,upperdir=/tmp/lane32-world/upper,workdir=/tmp/lane32-world/work" "$lane_view" ||
  lane_error "cannot lay a copy-on-write view over $lane_store"
lane_up=$(date +%s)
"$scripts/wine-world.sh" start "$world" win32 || lane_error "cannot start the 32-bit Wine world"
echo "lane32: Wine world up in $(($(date +%s) - lane_up)) s"
# The command runs in that world: WINEPREFIX, DISPLAY and the loader are set.
eval "$("$scripts/wine-world.sh" env "$world" win32)"
