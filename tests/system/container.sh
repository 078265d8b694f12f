# Shared by the booted-system tests (sourced, not run): builds or reuses the container's root,
# boots it (systemd-nspawn -b) with /dev/fuse bound in, runs commands inside it, attaches disk
# images as loop devices whose nodes exist only inside it, and tears everything down on exit.
# The sourcing script sets nothing beforehand and calls container_prepare first.
# The container's root comes from mmdebstrap and is kept in $NTFS_SYSTEM_TEST_CACHE
# (/var/cache/ntfs-system-test), one folder per package list; each run works on an overlay of it
# (or a copy, where overlays cannot be mounted).

suite=bookworm
# One list for every booted-system test, so that they share one cached root.
packages=systemd,systemd-sysv,dbus,polkitd,pkexec,libpam-systemd,libsdbus-c++1,libplist3,libplist++3v5,libkmod2,ntfs-3g,exfatprogs,fdisk,acl
cache=${NTFS_SYSTEM_TEST_CACHE:-/var/cache/ntfs-system-test}

say() { printf '%s\n' "$*"; }
step() { printf '== %s\n' "$*"; }
skip() {
  say "SKIPPED: $*"
  exit 77
}
fail() {
  say "FAILED: $*" >&2
  exit 1
}

nspawn_pid=""
container_pid=""
work=""
root=""

# stop_container: powers the container off, or kills it when it does not go within 20 s.
stop_container() {
  [ -n "$nspawn_pid" ] || return 0
  if kill -0 "$nspawn_pid" 2>/dev/null; then
    kill -TERM "$nspawn_pid" 2>/dev/null || true
    tries=0
    while kill -0 "$nspawn_pid" 2>/dev/null && [ "$tries" -lt 100 ]; do
      sleep 0.2
      tries=$((tries + 1))
    done
    kill -KILL "$nspawn_pid" 2>/dev/null || true
  fi
  wait "$nspawn_pid" 2>/dev/null || true
  nspawn_pid=""
  container_pid=""
}

container_cleanup() {
  stop_container
  # attach_image runs in command substitutions, so its devices are listed in a file.
  if [ -f "$work/loop-devices" ]; then
    while read -r device; do
      losetup -d "$device" 2>/dev/null || true
    done <"$work/loop-devices"
  fi
  if [ -n "$root" ] && mountpoint -q "$root" 2>/dev/null; then umount "$root" || umount -l "$root" || true; fi
  [ -z "$work" ] || rm -rf "$work"
}

# container_prepare: container_start_work, then container_make_root with the shared list.
container_prepare() {
  container_start_work
  container_make_root "$packages"
}

# container_start_work: checks that this machine can boot a container (else skips) and makes $work,
# which goes at exit with everything the container used.
container_start_work() {
  [ "$(id -u)" -eq 0 ] || skip "booting a container needs root"
  for tool in systemd-nspawn mmdebstrap nsenter setpriv losetup; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (scripts/bootstrap.sh installs it)"
  done
  work=$(mktemp -d /var/tmp/ntfs-system-test.XXXXXX)
  root=$work/root
  trap container_cleanup EXIT
  trap 'exit 130' INT TERM HUP
}

# container_make_root PACKAGES: the container's root at $root, an overlay of the cached root with
# PACKAGES (comma-separated), which is built first when no run has cached it yet.
container_make_root() {
  step "Container root: Debian $suite with $1"
  key=$(printf '%s %s\n' "$suite" "$1" | sha256sum | cut -c1-16)
  lower=$cache/rootfs-$key
  if [ -d "$lower" ]; then
    say "cached in $lower"
  else
    mkdir -p "$cache"
    partial=$lower.partial.$$
    if ! mmdebstrap --variant=minbase --include="$1" "$suite" "$partial" >"$work/mmdebstrap.log" 2>&1; then
      rm -rf "$partial"
      tail -n 5 "$work/mmdebstrap.log"
      skip "mmdebstrap could not build the container's root (no Debian mirror reachable?)"
    fi
    # Another run may have cached the same root meanwhile.
    mv -T "$partial" "$lower" 2>/dev/null || rm -rf "$partial"
    say "built and cached in $lower"
  fi
  mkdir "$root" "$work/upper" "$work/overlay-work"
  if ! mount -t overlay overlay -o "lowerdir=$lower,upperdir=$work/upper,workdir=$work/overlay-work" "$root" 2>/dev/null; then
    say "no overlay file system here: working on a copy of the cached root"
    rmdir "$root"
    cp -a "$lower" "$root"
  fi
}

# add_users: admin (in group sudo, an administrator for polkit) and guest.
add_users() {
  step "Users: admin (in group sudo) and guest"
  chroot "$root" useradd -m -G sudo -s /bin/sh admin
  chroot "$root" useradd -m -s /bin/sh guest
  printf 'admin:admin-secret\nguest:guest-secret\n' | chroot "$root" chpasswd
}

inside() { nsenter -t "$container_pid" -a -- "$@"; }

# boot: starts the container and waits, at most 30 s for its systemd to start and 90 s for the
# start-up to finish.
boot() {
  fuse=""
  [ -c /dev/fuse ] && fuse=--bind=/dev/fuse
  # shellcheck disable=SC2086 # $fuse is one option or none
  setpriv --pdeathsig KILL systemd-nspawn --quiet -D "$root" --register=no --keep-unit --private-network \
    $fuse --console=passive -b >>"$work/console.log" 2>&1 &
  nspawn_pid=$!
  tries=0
  while [ -z "$container_pid" ] && [ "$tries" -lt 150 ]; do
    child=$(cat "/proc/$nspawn_pid/task/$nspawn_pid/children" 2>/dev/null) || true
    child=${child%% *}
    [ -n "$child" ] && [ "$(cat "/proc/$child/comm" 2>/dev/null)" = systemd ] && container_pid=$child
    [ -n "$container_pid" ] || kill -0 "$nspawn_pid" 2>/dev/null || break
    [ -n "$container_pid" ] || sleep 0.2
    tries=$((tries + 1))
  done
  state=""
  deadline=$(($(date +%s) + 90))
  while [ -n "$container_pid" ]; do
    left=$((deadline - $(date +%s)))
    [ "$left" -gt 0 ] || break
    # Fails at once until the container's systemd listens; then waits for the end of the start-up.
    state=$(timeout "$left" nsenter -t "$container_pid" -a -- systemctl is-system-running --wait 2>/dev/null) || true
    case $state in running | degraded) return 0 ;; esac
    sleep 0.5
  done
  tail -n 20 "$work/console.log"
  return 1
}

# attach_image IMAGE: attaches IMAGE (a file on the host) to a free loop device, makes its node
# inside the running container (a node, not a bind mount, which would make it a mount point) and
# prints its name there (loopN). Detached at exit.
attach_image() {
  device=$(losetup -f --show "$1") || fail "no loop device for $1"
  echo "$device" >>"$work/loop-devices"
  numbers=$(stat -L -c '%t %T' "$device")
  # shellcheck disable=SC2086 # major and minor, in hex
  set -- $numbers
  inside mknod -m 0660 "$device" b "$((0x$1))" "$((0x$2))"
  inside chgrp disk "$device"
  basename "$device"
}

# can_mount_fuse: whether FUSE volumes can be mounted inside the container.
can_mount_fuse() { [ -c /dev/fuse ] && inside test -c /dev/fuse; }

# as_user USER COMMAND: runs a shell command as USER in a login session of its own on seat0, the
# kind of session a local desktop user has (active and local), and ends with its status.
as_user() {
  inside systemd-run --quiet --wait --pipe --collect -E XDG_SEAT=seat0 -- su -l "$1" -c "$2" </dev/null
}
