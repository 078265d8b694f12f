#!/bin/sh
# The installed package on a booted Debian 12: boots a container (systemd-nspawn), installs the
# build into it the way a user does (cmake --install, then the app's bless tool through pkexec and
# the app's trampoline, with an administrator's consent) and checks the helper there as a user
# would: enabled and running, answering on the real system bus, started by the bus when stopped,
# restarted by systemd after kill -9, admitted and refused by the real polkitd, running again
# after a reboot, logging to its unit's journal, and gone after Uninstall.sh.
# Usage: system-test.sh BUILD-DIR POLKIT-TEST-AGENT
# Exit status: 0 passed, 1 failed, 77 skipped (this machine cannot boot a container).
# The container comes from container.sh beside this script.
set -eu

build=$(cd "$1" && pwd)
agent=$2
label=com.zel.ntfs.HelperTool
unit=$label.service
bus_name=com.tarn.mac.utility.store.ntfs.HelperTool
object=/com/tarn/mac/utility/store/ntfs/HelperTool
interface=com.tarn.mac.utility.store.ntfs.HelperToolProtocol
app_name=com.tarn.mac.utility.website.ntfs.HelperApp
packages=systemd,systemd-sysv,dbus,polkitd,pkexec,libpam-systemd,libsdbus-c++1,libplist3,libplist++3v5,libkmod2
test_agent=/usr/local/libexec/ntfs-system-test/polkit-test-agent

# shellcheck source-path=SCRIPTDIR source=container.sh
. "$(dirname "$0")/container.sh"

start_work
trap remove_container EXIT
trap 'exit 130' INT TERM HUP

make_root "$packages"
add_users

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
