#!/bin/sh
# The installed package on a booted Debian 12: boots a container (systemd-nspawn), installs the
# build into it the way a user does (cmake --install, then the app's bless tool through pkexec and
# the app's trampoline, with an administrator's consent) and checks the helper there as a user
# would: enabled and running, answering on the real system bus, started by the bus when stopped,
# restarted by systemd after kill -9, admitted and refused by the real polkitd, running again
# after a reboot, logging to its unit's journal, and gone after Uninstall.sh.
# Usage: system-test.sh BUILD-DIR POLKIT-TEST-AGENT
# Exit status: 0 passed, 1 failed, 77 skipped (this machine cannot boot a container).
# The container's root comes from mmdebstrap and is kept in $NTFS_SYSTEM_TEST_CACHE
# (/var/cache/ntfs-system-test), one folder per package list; each run works on an overlay of it
# (or a copy, where overlays cannot be mounted).
set -eu

build=$(cd "$1" && pwd)
agent=$2
label=com.zel.ntfs.HelperTool
unit=$label.service
bus_name=com.tarn.mac.utility.store.ntfs.HelperTool
object=/com/tarn/mac/utility/store/ntfs/HelperTool
interface=com.tarn.mac.utility.store.ntfs.HelperToolProtocol
app_name=com.tarn.mac.utility.website.ntfs.HelperApp
suite=bookworm
packages=systemd,systemd-sysv,dbus,polkitd,pkexec,libpam-systemd,libsdbus-c++1,libplist3,libplist++3v5,libkmod2
cache=${NTFS_SYSTEM_TEST_CACHE:-/var/cache/ntfs-system-test}
test_agent=/usr/local/libexec/ntfs-system-test/polkit-test-agent

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

[ "$(id -u)" -eq 0 ] || skip "booting a container needs root"
for tool in systemd-nspawn mmdebstrap nsenter setpriv; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (scripts/bootstrap.sh installs it)"
done

work=$(mktemp -d /var/tmp/ntfs-system-test.XXXXXX)
root=$work/root
nspawn_pid=""
container_pid=""

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

cleanup() {
  stop_container
  if mountpoint -q "$root" 2>/dev/null; then umount "$root" || umount -l "$root" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

step "Container root: Debian $suite with $packages"
key=$(printf '%s %s\n' "$suite" "$packages" | sha256sum | cut -c1-16)
lower=$cache/rootfs-$key
if [ -d "$lower" ]; then
  say "cached in $lower"
else
  mkdir -p "$cache"
  partial=$lower.partial.$$
  if ! mmdebstrap --variant=minbase --include="$packages" "$suite" "$partial" >"$work/mmdebstrap.log" 2>&1; then
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

inside() { nsenter -t "$container_pid" -a -- "$@"; }

# boot: starts the container and waits, at most 30 s for its systemd to start and 90 s for the
# start-up to finish.
boot() {
  setpriv --pdeathsig KILL systemd-nspawn --quiet -D "$root" --register=no --keep-unit --private-network \
    --console=passive -b >>"$work/console.log" 2>&1 &
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

step "Users: admin (in group sudo) and guest"
chroot "$root" useradd -m -G sudo -s /bin/sh admin
chroot "$root" useradd -m -s /bin/sh guest
printf 'admin:admin-secret\nguest:guest-secret\n' | chroot "$root" chpasswd

step "Install: DESTDIR=<container> cmake --install $build"
DESTDIR=$root cmake --install "$build" >"$work/install.log"
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
app_dir=$prefix/libexec/$app_name
app_action=$app_name.policy
# polkit reads actions only from /usr/share/polkit-1/actions, where the prefix /usr puts the app's.
[ -e "$root/usr/share/polkit-1/actions/$app_action" ] ||
  cp "$root$prefix/share/polkit-1/actions/$app_action" "$root/usr/share/polkit-1/actions/"
install -D -m 0755 "$agent" "$root$test_agent"
say "app folder $app_dir"

step "Boot (systemd-nspawn -b)"
boot || skip "the container did not boot here (state: ${state:-none})"
say "the container's systemd is pid $container_pid here, state $state"

# as_user USER COMMAND: runs a shell command as USER in a login session of its own on seat0, the
# kind of session a local desktop user has (active and local), and ends with its status.
as_user() {
  inside systemd-run --quiet --wait --pipe --collect -E XDG_SEAT=seat0 -- su -l "$1" -c "$2" </dev/null
}

# user_call MEMBER SIGNATURE ARGUMENT...: a call to the helper as a command line for as_user.
user_call() {
  printf 'busctl --allow-interactive-authorization=yes call %s %s %s %s' "$bus_name" "$object" "$interface" "$*"
}

step "Bless as the app does: pkexec runs the trampoline and the bless tool, admin consents"
# Twice from one process, as one Install press does: the consent is asked for once.
bless="pkexec --disable-internal-agent --keep-cwd $app_dir/ntfs-privileged-trampoline $app_dir/ntfs-bless-helper $label"
output=$(as_user admin "$test_agent admin-secret sh -c '$bless && $bless'" 2>&1) || fail "the bless step failed: $output"
say "$output"
[ "$(printf '%s\n' "$output" | grep -c 'run-as-root: authentication as admin succeeded')" -eq 1 ] ||
  fail "pkexec did not ask admin exactly once under the app's action"
for file in "/Library/PrivilegedHelperTools/$label" "/etc/systemd/system/$unit" \
  "/usr/share/dbus-1/system-services/$bus_name.service" "/usr/share/dbus-1/system.d/$bus_name.conf" \
  "/usr/share/polkit-1/actions/$label.policy"; do
  inside test -f "$file" || fail "the bless step left no $file"
done
[ "$(inside systemctl is-enabled "$unit")" = enabled ] || fail "$unit is not enabled"
[ "$(inside systemctl is-active "$unit")" = active ] || fail "$unit is not running"
say "$unit is enabled and active"

step "Answer: root's busctl getVersion on the system bus"
version=$(inside busctl --timeout=25 call "$bus_name" "$object" "$interface" getVersionWithReply_)
[ "$version" = 's "1.0.5"' ] || fail "getVersion answered $version"
say "getVersionWithReply_ -> $version"

step "Bus activation: the first call with the unit stopped starts it"
inside systemctl stop "$unit"
[ "$(inside systemctl is-active "$unit")" != active ] || fail "$unit did not stop"
version=$(inside busctl --timeout=25 call "$bus_name" "$object" "$interface" getVersionWithReply_) ||
  fail "a call to the stopped helper was not answered"
[ "$version" = 's "1.0.5"' ] || fail "bus activation answered $version"
[ "$(inside systemctl is-active "$unit")" = active ] || fail "bus activation did not start $unit"
say "answered $version; $unit active again"

step "KeepAlive: kill -9 while a request runs"
old_pid=$(inside systemctl show -P MainPID "$unit")
inside busctl --timeout=60 -- call "$bus_name" "$object" "$interface" \
  empiricalTestForFullDiskAccessWithCommand_withParams_reply_ sas /bin/sh 2 -c 'touch /run/ntfs-in-flight; exec sleep 50' \
  >"$work/in-flight.out" 2>&1 &
in_flight=$!
tries=0
until inside test -e /run/ntfs-in-flight; do
  tries=$((tries + 1))
  [ "$tries" -le 100 ] || fail "the request in flight never started: $(cat "$work/in-flight.out")"
  sleep 0.1
done
inside sh -c "kill -KILL $old_pid"
if wait "$in_flight"; then fail "the request in flight was answered by a killed helper"; fi
in_flight_error=$(cat "$work/in-flight.out")
case $in_flight_error in *"timed out"* | "") fail "the request in flight got no error: $in_flight_error" ;; esac
say "the request in flight got: $in_flight_error"
version=$(inside busctl --timeout=2 call "$bus_name" "$object" "$interface" getVersionWithReply_) ||
  fail "no answer within 2 s after kill -9"
new_pid=$(inside systemctl show -P MainPID "$unit")
restarts=$(inside systemctl show -P NRestarts "$unit")
[ "$new_pid" != "$old_pid" ] || fail "the helper answered from the killed pid $old_pid"
[ "$restarts" -ge 1 ] || fail "systemd did not restart $unit (restarts: $restarts)"
say "answered $version by pid $new_pid (was $old_pid), restarts: $restarts"

step "Consent through polkitd: a dismissed prompt is refused"
if output=$(as_user admin "$test_agent --dismiss $(user_call empiricalTestForFullDiskAccessWithCommand_withParams_reply_ \
  sas /bin/touch 1 /run/ntfs-ran-dismissed)" 2>&1); then fail "a dismissed prompt was admitted: $output"; fi
say "$output"
case $output in *"prompt dismissed"*"Call failed: Access denied"*) ;; *) fail "not refused after the prompt: $output" ;; esac
! inside test -e /run/ntfs-ran-dismissed || fail "the refused request ran"

step "Consent: a user outside group sudo is refused, with their own password"
if output=$(as_user guest "$test_agent guest-secret $(user_call empiricalTestForFullDiskAccessWithCommand_withParams_reply_ \
  sas /bin/touch 1 /run/ntfs-ran-guest)" 2>&1); then fail "guest was admitted: $output"; fi
say "$output"
case $output in *"authentication as admin failed"*"Call failed: Access denied"*) ;; *) fail "guest not refused as expected: $output" ;; esac
! inside test -e /run/ntfs-ran-guest || fail "guest's refused request ran"

step "Consent: admin is admitted after authenticating"
output=$(as_user admin "$test_agent admin-secret $(user_call empiricalTestForFullDiskAccessWithCommand_withParams_reply_ \
  sas /bin/touch 1 /run/ntfs-ran-admin)" 2>&1) || fail "admin was refused: $output"
say "$output"
case $output in *"authentication as admin succeeded"*"b false"*) ;; *) fail "admin's request was not answered: $output" ;; esac
inside test -e /run/ntfs-ran-admin || fail "admin's request did not run"

step "Logs: the helper's lines are in journalctl -u $unit"
inside busctl call "$bus_name" "$object" "$interface" checkDiskWithExecutablePath_forDiskIdentifier_reply_ \
  ss /bin/echo system-test-disk >/dev/null
tries=0
until inside journalctl -q -u "$unit" --no-pager | grep -q system-test-disk; do
  tries=$((tries + 1))
  [ "$tries" -le 50 ] || fail "no helper line in the unit's journal: $(inside journalctl -u "$unit" --no-pager | tail -n 5)"
  sleep 0.1
done
inside journalctl -q -u "$unit" --no-pager | grep system-test-disk | tail -n 1

step "Reboot: the helper runs again at boot"
inside systemctl reboot || true
tries=0
while kill -0 "$nspawn_pid" 2>/dev/null && [ "$tries" -lt 300 ]; do
  sleep 0.2
  tries=$((tries + 1))
done
stop_container
boot || fail "the container did not boot again (state: ${state:-none})"
[ "$(inside systemctl is-active "$unit")" = active ] || fail "$unit did not start at boot"
version=$(inside busctl --timeout=25 call "$bus_name" "$object" "$interface" getVersionWithReply_)
say "$unit active after the reboot; getVersion -> $version"

step "Uninstall: Resources/Uninstall.sh as root"
inside sh "$app_dir/Resources/Uninstall.sh"
for file in "/Library/PrivilegedHelperTools/$label" "/etc/systemd/system/$unit" \
  "/etc/systemd/system/multi-user.target.wants/$unit" \
  "/usr/share/dbus-1/system-services/$bus_name.service" "/usr/share/dbus-1/system.d/$bus_name.conf" \
  "/usr/share/polkit-1/actions/$label.policy"; do
  ! inside test -e "$file" || fail "Uninstall.sh left $file"
done
[ "$(inside systemctl is-active "$unit")" != active ] || fail "$unit still runs"
owner=$(inside busctl call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus NameHasOwner s "$bus_name")
[ "$owner" = "b false" ] || fail "the bus name still has an owner"
if output=$(inside busctl --timeout=5 call "$bus_name" "$object" "$interface" getVersionWithReply_ 2>&1); then
  fail "the helper still answers after Uninstall.sh: $output"
fi
say "unit, activation, policies and program gone; the bus name is free ($output)"

say "PASSED"
