#!/bin/sh
# The installed package on a booted Debian 12: boots a container (systemd-nspawn), installs the
# build into it the way a user does (cmake --install, then the app's bless tool and install script
# through pkexec and the app's trampoline, with an administrator's consent) and checks the helper
# there as a user would: enabled and running, answering on the real system bus, started by the bus
# when stopped, restarted by systemd after kill -9, admitted and refused by the real polkitd,
# mounting an NTFS loop image with the installed driver, running again after a reboot, logging to
# its unit's journal, and gone after Uninstall.sh.
# Usage: system-test.sh BUILD-DIR POLKIT-TEST-AGENT
# Exit status: 0 passed, 1 failed, 77 skipped (this machine cannot boot a container).
set -eu

build=$(cd "$1" && pwd)
agent=$2
label=com.zel.ntfs.HelperTool
unit=$label.service
bus_name=com.tarn.mac.utility.store.ntfs.HelperTool
object=/com/tarn/mac/utility/store/ntfs/HelperTool
interface=com.tarn.mac.utility.store.ntfs.HelperToolProtocol
app_name=com.tarn.mac.utility.website.ntfs.HelperApp
test_agent=/usr/local/libexec/ntfs-system-test/polkit-test-agent

# shellcheck source-path=SCRIPTDIR source=container.sh
. "$(dirname "$0")/container.sh"
container_prepare

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

step "Driver: the app's Install-Kext.sh through pkexec and the trampoline, admin consents"
resources=$app_dir/Resources
install_driver="pkexec --disable-internal-agent --keep-cwd $app_dir/ntfs-privileged-trampoline /bin/sh \
$resources/Install-Kext.sh $resources/libintl.8.dylib $resources/tarn_ntfs_fix $resources/tarn_ntfs-formatter \
$resources/tarn_ntfs.kext $resources/tarn_ntfs.fs"
output=$(as_user admin "$test_agent admin-secret $install_driver" 2>&1) || fail "the driver install failed: $output"
for file in /usr/local/sbin/tarn_ntfs_fix /usr/local/sbin/tarn_ntfs-formatter /usr/local/sbin/tarn_ntfs-diskutil \
  /sbin/mount.tarn_ntfs; do
  inside test -x "$file" || fail "the driver install left no $file"
done
say "driver installed"

# hibernated_image FILE: a 64 MiB NTFS image labelled Hibernated whose hiberfil.sys starts the way a
# hibernated Windows leaves it.
hibernated_image() {
  truncate -s 64M "$1"
  mkntfs -F -Q -L Hibernated "$1" >/dev/null 2>&1 || fail "mkntfs could not format $1"
  mkdir "$1.mnt"
  ntfs-3g "$1" "$1.mnt" || fail "ntfs-3g could not mount $1 here"
  if ! { printf hibr; head -c 65532 /dev/urandom; } >"$1.mnt/hiberfil.sys"; then
    umount "$1.mnt"
    fail "cannot write the hibernation file"
  fi
  umount "$1.mnt"
}

# helper_call MEMBER SIGNATURE ARGUMENT...: root's call to the helper on the container's system bus;
# a command's reply ends with its status ("asi 1 "text" 0").
helper_call() { inside busctl --timeout=120 -- call "$bus_name" "$object" "$interface" "$@"; }

step "Disk: an NTFS loop image mounted, written and checked through the helper"
can_mount_fuse || fail "/dev/fuse is not usable in the container"
truncate -s 64M "$work/ntfs.img"
mkntfs -F -Q -L "System Test" "$work/ntfs.img" >/dev/null 2>&1 || fail "mkntfs could not format the image"
disk=$(attach_image "$work/ntfs.img")
volume=/Volumes/SystemTest
output=$(helper_call mountDiskWithMountNTFSExecutablePath_forDiskIdentifier_withMountOptions_atMountPoint_reply_ \
  ssss /sbin/mount.tarn_ntfs "$disk" "" "$volume")
case $output in *"access=rw state=clean"*) [ "${output##* }" = 0 ] ;; *) false ;; esac ||
  fail "the mount through the helper failed: $output"
inside sh -c "echo written-in-the-container > '$volume/file.txt'"
say "mounted $disk at $volume and wrote a file"

case ,$(inside findmnt -rn -o OPTIONS "$volume"), in *,nosuid,*nodev,*) ;; *) fail "$volume lacks nosuid,nodev" ;; esac
inside systemctl list-units --no-legend --type=scope 'tarn_ntfs-mount-*' | grep -q . ||
  fail "the FUSE daemon of $volume has no scope of its own"
inside systemctl restart "$unit"
inside mountpoint -q "$volume" || fail "restarting the helper unmounted $volume"
inside sh -c "echo after-the-restart >> '$volume/file.txt'" || fail "$volume is not writable after the helper restarted"
say "the volume outlives a restart of the helper (its daemon is in a scope of its own) and stays writable"

output=$(helper_call unmountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_ ss /usr/local/sbin/tarn_ntfs-diskutil "$disk")
[ "${output##* }" = 0 ] || fail "the unmount through the helper failed: $output"
! inside mountpoint -q "$volume" || fail "$volume is still mounted"
output=$(helper_call checkDiskWithExecutablePath_forDiskIdentifier_reply_ ss /usr/local/sbin/tarn_ntfs_fix "$disk")
[ "${output##* }" = 0 ] || fail "the check through the helper failed: $output"
[ "$(ntfscat "$work/ntfs.img" file.txt)" = "written-in-the-container
after-the-restart" ] || fail "the written file is not on the volume"
say "unmounted and checked; ntfscat reads the file back from the image"

# ---- ntfs-helperctl: a desktop user's disks by device name alone (admin is not root) ----------
ctl=$prefix/bin/ntfs-helperctl
at_terminal=/usr/local/libexec/ntfs-system-test/at-terminal
cat >"$root$at_terminal" <<'EOF'
#!/bin/sh
# at-terminal COMMAND [PROMPT ANSWER]...: runs COMMAND at a terminal of its own (script), types
# each ANSWER once the screen shows its PROMPT, prints the screen and ends with COMMAND's status.
dir=$(mktemp -d)
mkfifo "$dir/keys"
{ script -qec "$1" /dev/null <"$dir/keys" >"$dir/screen" 2>&1; echo $? >"$dir/status"; } &
exec 3>"$dir/keys"
shift
while [ "$#" -ge 2 ]; do
  tries=0
  until grep -q "$1" "$dir/screen" || [ -e "$dir/status" ] || [ "$tries" -ge 300 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  printf '%s\n' "$2" >&3
  shift 2
done
exec 3>&-
wait
cat "$dir/screen"
exit "$(cat "$dir/status")"
EOF
chmod 0755 "$root$at_terminal"
# ctl USER ARGUMENT...: ntfs-helperctl as USER in a local session, whose agent answers with
# USER's password.
ctl() {
  who=$1
  shift
  as_user "$who" "$test_agent $who-secret $ctl $*"
}
for file in "$prefix/share/man/man1/ntfs-helperctl.1" "$prefix/share/bash-completion/completions/ntfs-helperctl"; do
  inside test -f "$file" || fail "cmake --install left no $file"
done
# options_of DIR: the mount options the kernel's table shows for DIR, between commas.
options_of() { printf ',%s,' "$(inside findmnt -n -o OPTIONS --mountpoint "$1")"; }

step "ntfs-helperctl mount: admin mounts loop images by name at /media/admin/<label>, owning them"
truncate -s 64M "$work/user.img" "$work/same.img"
mkntfs -F -Q -L "Data Stick" "$work/user.img" >/dev/null 2>&1 || fail "mkntfs could not format user.img"
mkntfs -F -Q -L "Data Stick" "$work/same.img" >/dev/null 2>&1 || fail "mkntfs could not format same.img"
disk=$(attach_image "$work/user.img")
same=$(attach_image "$work/same.img")
# No udev runs in a container; root's blkid records in its cache what udev would, for users to read.
inside blkid "/dev/$disk" "/dev/$same" >/dev/null
media="/media/admin/Data Stick"
output=$(ctl admin mount "$disk" 2>&1) || fail "admin's mount failed: $output"
say "$output"
[ "$(printf '%s\n' "$output" | tail -n 1)" = "$media" ] || fail "not mounted at $media"
# At a terminal without a desktop agent, the password is asked there (polkit's text agent).
output=$(as_user admin "$at_terminal '$ctl mount $same' Password: admin-secret" 2>&1) ||
  fail "admin's mount from a terminal failed: $output"
say "$output"
case $output in *"Password:"*) ;; *) fail "the terminal did not ask for the password: $output" ;; esac
[ "$(printf '%s\n' "$output" | tr -d '\r' | tail -n 1)" = "$media-2" ] || fail "the same label did not get $media-2"
for option in nosuid nodev; do
  case $(options_of "$media") in *",$option,"*) ;; *) fail "$media lacks $option: $(options_of "$media")" ;; esac
done
as_user admin "echo mine > '$media/mine.txt'" || fail "admin cannot write to $media"
owners=$(inside stat -c %U "$media" "$media/mine.txt" | sort -u)
[ "$owners" = admin ] || fail "the volume and the file belong to $owners, not admin"
[ "$(inside stat -c %a:%U /media/admin)" = 750:root ] || fail "/media/admin is $(inside stat -c %a:%U /media/admin)"
if output=$(as_user guest "ls /media/admin" 2>&1); then fail "guest can list /media/admin: $output"; fi
say "mounted at $media and $media-2 (nosuid,nodev), owned by admin; guest cannot look in"

step "ntfs-helperctl: the volume stays mounted and writable across a restart of the helper"
inside systemctl restart "$unit"
inside mountpoint -q "$media" || fail "$media went with the helper's restart"
as_user admin "echo again >> '$media/mine.txt'" || fail "$media is not writable after the restart"

step "ntfs-helperctl list --json, unmount, check, rename, format"
json=$(as_user admin "$ctl list --json") || fail "list failed: $json"
printf '%s' "$json" | python3 -c '
import json, sys
volumes = {v["device"]: v for v in json.load(sys.stdin)}
v = volumes["/dev/'"$disk"'"]
assert (v["label"], v["type"], v["mountpoint"], v["access"]) == ("Data Stick", "ntfs", "'"$media"'", "rw"), v
' || fail "list --json is not what was expected: $json"
for device in "$disk" "$same"; do
  output=$(ctl admin unmount "$device" 2>&1) || fail "unmount of $device failed: $output"
done
! inside test -e "$media" || fail "unmount left $media"
! inside test -e "$media-2" || fail "unmount left $media-2"
output=$(ctl admin check "$disk" 2>&1) || fail "check failed: $output"
output=$(ctl admin rename "$disk" "'Renamed Stick'" 2>&1) || fail "rename failed: $output"
[ "$(inside blkid -p -o value -s LABEL "/dev/$disk")" = "Renamed Stick" ] || fail "blkid does not see the new label"
# At a terminal, format first shows what is on the device and wants its name typed.
output=$(as_user admin "$at_terminal '$ctl format $same --exfat Fresh' 'to go on:' $same Password: admin-secret" 2>&1) ||
  fail "format failed: $output"
case $output in *"ntfs \"Data Stick\""*) ;; *) fail "format did not show what is on $same: $output" ;; esac
[ "$(inside blkid -p -o value -s TYPE "/dev/$same")" = exfat ] || fail "format made no exFAT volume"
[ "$(ntfscat "$work/user.img" mine.txt)" = "mine
again" ] || fail "what admin wrote is not on the volume"
say "listed, unmounted (mount points gone), checked, renamed, formatted"

step "ntfs-helperctl: a volume Windows hibernated on mounts read-only, and the user is told why"
hibernated_image "$work/hibernated.img"
hibernated=$(attach_image "$work/hibernated.img")
inside blkid "/dev/$hibernated" >/dev/null
output=$(ctl admin mount "$hibernated" 2>&1) || fail "the hibernated volume did not mount: $output"
say "$output"
case $output in *"Windows is hibernated"*) ;; *) fail "no reason line: $output" ;; esac
case $(options_of /media/admin/Hibernated) in *,ro,*) ;; *) fail "the hibernated volume is not read-only" ;; esac
ctl admin unmount "$hibernated" >/dev/null 2>&1 || fail "the hibernated volume did not unmount"

step "ntfs-helperctl: guest, outside the administrators, is refused (77) and nothing is mounted"
status=0
output=$(ctl guest mount "$disk" 2>&1) || status=$?
say "$output"
[ "$status" = 77 ] || fail "guest's mount ended with $status, not 77"
! inside findmnt --source "/dev/$disk" >/dev/null || fail "guest's refused mount mounted $disk"
step "ntfs-helperctl --no-user-interaction: nobody is asked, and admin is refused at once (77)"
status=0
output=$(ctl admin --no-user-interaction check "$disk" 2>&1) || status=$?
[ "$status" = 77 ] || fail "--no-user-interaction ended with $status, not 77: $output"
case $output in *"authentication as"*) fail "admin was asked: $output" ;; esac
# ---- end of ntfs-helperctl ------------------------------------------------------------------

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

# ==== Driver state: the mount log over the driver's control channel, the hibernate-check switch ====
helperctl=$prefix/bin/ntfs-helperctl
# mount_through_helper IMAGE-DISK OPTIONS FOLDER: the helper's NTFS mount; prints its reply.
mount_through_helper() {
  helper_call mountDiskWithMountNTFSExecutablePath_forDiskIdentifier_withMountOptions_atMountPoint_reply_ \
    ssss /sbin/mount.tarn_ntfs "$1" "$2" "$3"
}
unmount_through_helper() {
  output=$(helper_call unmountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_ ss /usr/local/sbin/tarn_ntfs-diskutil "$1")
  [ "${output##* }" = 0 ] || fail "the unmount of $1 through the helper failed: $output"
}
# expect_tag REPLY TAG: the mount replied 0 with TAG as its tag line, and the driver's log holds it.
expect_tag() {
  case $1 in *"tarn_ntfs-mount: $2"*) [ "${1##* }" = 0 ] ;; *) false ;; esac || fail "expected '$2' from the mount: $1"
  log=$(inside "$helperctl" mount-log) || fail "ntfs-helperctl mount-log failed: $log"
  case $log in *"tarn_ntfs-mount: $2"*"status: 0") ;; *) fail "the driver's mount log lacks '$2': $log" ;; esac
}

step "Mount log: the channel listens after boot; before any mount the driver answers an empty log"
inside systemctl is-active --quiet tarn_ntfs-kctl.socket || fail "tarn_ntfs-kctl.socket does not listen"
output=$(helper_call getLatestDiskMountLogsWithReply_)
[ "$output" = 'asi 1 "" 0' ] || fail "before any mount the mount log answered $output"
! inside test -e /run/tarn_ntfs/config/hibernate_check || fail "the switch survived the reboot"
say "getLatestDiskMountLogsWithReply_ -> $output"

step "Mount log: a mount through the helper is what the driver answers, also after a helper restart"
truncate -s 64M "$work/state.img"
mkntfs -F -Q -L State "$work/state.img" >/dev/null 2>&1 || fail "mkntfs could not format the image"
disk=$(attach_image "$work/state.img")
expect_tag "$(mount_through_helper "$disk" "" /Volumes/State)" "access=rw state=clean"
inside systemctl restart "$unit"
[ "$(inside "$helperctl" mount-log)" = "$log" ] || fail "the mount log changed with a helper restart: $log"
case $log in *"/dev/$disk at /Volumes/State"*) ;; *) fail "the log does not name the device and folder: $log" ;; esac
unmount_through_helper "$disk"
say "$log"

step "Hibernate check off: a hibernated volume mounts unchecked, its hibernation file untouched"
hibernated_image "$work/hibernated-state.img"
hiberfil() { ntfscat "$work/hibernated-state.img" hiberfil.sys | sha256sum; }
before=$(hiberfil)
disk=$(attach_image "$work/hibernated-state.img")
output=$(inside "$helperctl" hibernate-check off) || fail "ntfs-helperctl hibernate-check off failed: $output"
[ "$(inside cat /run/tarn_ntfs/config/hibernate_check)" = 0 ] || fail "the switch is not off in the driver's store"
expect_tag "$(mount_through_helper "$disk" "rw,remove_hiberfile" /Volumes/Hibernated)" "access=ro state=unchecked"
unmount_through_helper "$disk"
[ "$(hiberfil)" = "$before" ] || fail "hiberfil.sys changed with the check off"

step "Hibernate check on: the same volume mounts read-only as hibernated"
output=$(helper_call sysctlConfigureKextHibernateCheckWithValue_reply_ b true)
[ "$output" = "asi 0 0" ] || fail "switching the check on answered $output"
expect_tag "$(mount_through_helper "$disk" "rw,remove_hiberfile" /Volumes/Hibernated)" "access=ro state=hibernated"
unmount_through_helper "$disk"
[ "$(hiberfil)" = "$before" ] || fail "hiberfil.sys changed with the check on"
say "off: state=unchecked, on: state=hibernated; hiberfil.sys unchanged"
# ==== end of the driver state ====

step "Uninstall: Resources/Uninstall.sh as root"
inside sh "$app_dir/Resources/Uninstall.sh"
for file in "/Library/PrivilegedHelperTools/$label" "/etc/systemd/system/$unit" \
  "/etc/systemd/system/multi-user.target.wants/$unit" \
  "/usr/share/dbus-1/system-services/$bus_name.service" "/usr/share/dbus-1/system.d/$bus_name.conf" \
  "/usr/share/polkit-1/actions/$label.policy" /usr/local/sbin/tarn_ntfs_fix /usr/local/sbin/tarn_ntfs-diskutil \
  /usr/local/lib/tarn_ntfs /sbin/mount.tarn_ntfs /etc/modprobe.d/tarn_ntfs.conf; do
  ! inside test -e "$file" || fail "Uninstall.sh left $file"
done
[ "$(inside systemctl is-active "$unit")" != active ] || fail "$unit still runs"
owner=$(inside busctl call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus NameHasOwner s "$bus_name")
[ "$owner" = "b false" ] || fail "the bus name still has an owner"
if output=$(inside busctl --timeout=5 call "$bus_name" "$object" "$interface" getVersionWithReply_ 2>&1); then
  fail "the helper still answers after Uninstall.sh: $output"
fi
say "unit, activation, policies and program gone; the bus name is free ($output)"

# ==== Driver state after Uninstall: neither the channel nor the store ====
for file in /etc/systemd/system/tarn_ntfs-kctl.socket /etc/systemd/system/tarn_ntfs-kctl@.service \
  /etc/systemd/system/sockets.target.wants/tarn_ntfs-kctl.socket /etc/tmpfiles.d/tarn_ntfs.conf /run/tarn_ntfs \
  /run/kernel-control/com.tarn.ntfs-support.kext; do
  ! inside test -e "$file" || fail "Uninstall.sh left $file"
done
! inside systemctl is-active --quiet tarn_ntfs-kctl.socket || fail "tarn_ntfs-kctl.socket still listens"
# ==== end of the driver state after Uninstall ====

say "PASSED"
