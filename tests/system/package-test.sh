#!/bin/sh
# The Debian packages on a booted Debian 12 (container.sh): apt-get install of the built packages,
# the app's polkit action read by polkit and shown by the consent prompt, the app's install flow
# (install script and bless tool through pkexec and the app's trampoline), an upgrade to the same
# packages built as a higher version (the installed helper replaced and restarted, a volume
# mounted through the helper still mounted), and apt-get purge leaving nothing behind.
# Usage: package-test.sh SOURCE-DIR PACKAGE-DIR POLKIT-TEST-AGENT
#   PACKAGE-DIR holds the packages that scripts/package.sh built there; the higher version is
#   built there too.
# Exit status: 0 passed, 1 failed, 77 skipped.
set -eu

source_dir=$(cd "$1" && pwd)
packages_dir=$2
agent=$3
label=com.zel.ntfs.HelperTool
unit=$label.service
bus_name=com.tarn.mac.utility.store.ntfs.HelperTool
object=/com/tarn/mac/utility/store/ntfs/HelperTool
interface=com.tarn.mac.utility.store.ntfs.HelperToolProtocol
app_name=com.tarn.mac.utility.website.ntfs.HelperApp
app_dir=/usr/libexec/$app_name
resources=$app_dir/Resources
app_action=$app_name.run-as-root
test_agent=/usr/local/libexec/ntfs-system-test/polkit-test-agent
volume=/Volumes/UpgradeTest

# shellcheck source-path=SCRIPTDIR source=container.sh
. "$(dirname "$0")/container.sh"

ls "$packages_dir"/*.deb >/dev/null 2>&1 || skip "no packages in $packages_dir (scripts/package.sh did not run)"
container_start_work

step "Packages: as built, and built again as a higher version"
mkdir -p "$work/old" "$work/new"
cp "$packages_dir"/*.deb "$work/old/"
for deb in "$work"/old/*.deb; do old_version=$(dpkg-deb -f "$deb" Version); done
new_version=$old_version.1
NTFS_PACKAGE_VERSION=$new_version "$source_dir/scripts/package.sh" "$packages_dir" >"$work/package.log" 2>&1 ||
  fail "scripts/package.sh could not build $new_version: $(tail -n 20 "$work/package.log")"
cp "$packages_dir"/*_"$new_version"_*.deb "$work/new/"
say "$old_version: $(cd "$work/old" && echo *.deb)"
say "$new_version: $(cd "$work/new" && echo *.deb)"

# The container has no network: the packages' dependencies are in its root from the start.
depends=$(for deb in "$work"/old/*.deb; do dpkg-deb -f "$deb" Depends; done |
  tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/:any//; s/[[:space:]]//g' | grep -v "^ntfs-help" | LC_ALL=C sort -u | paste -sd, -)
container_make_root "systemd,systemd-sysv,dbus,polkitd,pkexec,libpam-systemd,$depends"
add_users
install -D -m 0755 "$agent" "$root$test_agent"
mkdir -p "$root/root/debs"
cp -r "$work/old" "$work/new" "$root/root/debs/"

# A volume for the helper to mount: an NTFS image on a loop device, its node made inside.
truncate -s 64M "$work/volume.img"
mkntfs -Q -F -L Upgrade "$work/volume.img" >/dev/null 2>&1 || fail "mkntfs could not format the image"

step "Boot (systemd-nspawn -b)"
boot || skip "the container did not boot here (state: ${state:-none})"
say "the container's systemd is pid $container_pid here, state $state"

apt_get() {
  inside sh -c "cd /root/debs && DEBIAN_FRONTEND=noninteractive apt-get -q -y $*" >"$work/apt.log" 2>&1 ||
    fail "apt-get $*: $(tail -n 20 "$work/apt.log")"
}

helper_pid() { inside systemctl show -P MainPID "$unit"; }
helper_version() { inside busctl --timeout=25 call "$bus_name" "$object" "$interface" getVersionWithReply_; }

step "apt-get install /root/debs/old/*.deb"
apt_get install /root/debs/old/*.deb
inside dpkg -L ntfs-helper-setup ntfs-helperctl >"$work/package-files"
! grep -q '^/usr/local' "$work/package-files" || fail "the packages put files under /usr/local"
! inside test -e "/Library/PrivilegedHelperTools/$label" || fail "the package installed the helper by itself"
[ "$(inside systemctl show -P LoadState "$unit")" = not-found ] || fail "the package registered $unit by itself"
inside pkaction --action-id "$app_action" >/dev/null || fail "polkit does not know $app_action"
message=$(sed -n 's:.*<message>\(.*\)</message>.*:\1:p' "$root/usr/share/polkit-1/actions/$app_name.policy")
[ -n "$message" ] || fail "the app's polkit action has no message"
say "installed $(grep -c . "$work/package-files") paths; polkit knows $app_action"

step "Install as the app does: install script and bless tool through pkexec and the trampoline"
run_as_root="pkexec --disable-internal-agent --keep-cwd $app_dir/ntfs-privileged-trampoline"
install="cd $resources && $run_as_root /bin/sh $resources/Install-Kext.sh $resources/libintl.8.dylib \
$resources/tarn_ntfs_fix $resources/tarn_ntfs-formatter $resources/tarn_ntfs.kext $resources/tarn_ntfs.fs"
bless="$run_as_root $app_dir/ntfs-bless-helper $label"
output=$(as_user admin "$test_agent admin-secret sh -c '$install && $bless'" 2>&1) || fail "the install flow failed: $output"
printf '%s\n' "$output" | grep -F "$app_action: asks \"$message\"" ||
  fail "the consent did not show the app's message: $output"
[ "$(inside systemctl is-active "$unit")" = active ] || fail "$unit is not running after Install"
[ "$(helper_version)" = "s \"$old_version\"" ] || fail "the helper does not answer $old_version"
fix_inode=$(inside stat -c %i /usr/local/sbin/tarn_ntfs_fix)

step "A volume mounted through the helper before the upgrade"
disk=$(attach_image "$work/volume.img")
reply=$(inside busctl --timeout=60 call "$bus_name" "$object" "$interface" \
  mountDiskWithMountNTFSExecutablePath_forDiskIdentifier_withMountOptions_atMountPoint_reply_ ssss \
  /sbin/mount.tarn_ntfs "$disk" "" "$volume")
case $reply in *" 0") ;; *) fail "the helper did not mount $disk: $reply" ;; esac
inside sh -c "echo before > $volume/kept.txt"
say "$(inside findmnt -n -o SOURCE,TARGET,FSTYPE "$volume")"

step "apt-get install /root/debs/new/*.deb: the upgrade to $new_version"
old_pid=$(helper_pid)
apt_get install /root/debs/new/*.deb
[ "$(inside dpkg-query -W -f "\${Version}" ntfs-helper-setup)" = "$new_version" ] || fail "not upgraded"
inside cmp "/Library/PrivilegedHelperTools/$label" "$app_dir/Library/LaunchServices/$label" ||
  fail "the installed helper is not the one $new_version carries"
[ "$(helper_version)" = "s \"$new_version\"" ] || fail "the running helper answers $(helper_version)"
[ "$(helper_pid)" != "$old_pid" ] || fail "the helper was not restarted (pid $old_pid)"
[ "$(inside stat -c %i /usr/local/sbin/tarn_ntfs_fix)" != "$fix_inode" ] || fail "the driver was not reinstalled"
[ "$(inside cat "$volume/kept.txt")" = before ] || fail "$volume did not stay mounted: $(inside findmnt "$volume")"
inside sh -c "echo after > $volume/kept.txt" || fail "$volume is no longer writable"
say "helper pid $(helper_pid) (was $old_pid) answers $new_version; $volume still mounted and writable"

step "apt-get purge"
inside dpkg -L ntfs-helper-setup ntfs-helperctl >"$work/package-files"
apt_get purge ntfs-helper-setup ntfs-helperctl
# shellcheck disable=SC2016 # expanded inside
left=$(inside sh -c 'while read -r path; do [ -d "$path" ] || [ ! -e "$path" ] || echo "$path"; done' <"$work/package-files")
[ -z "$left" ] || fail "the purge left $left"
for path in "/Library/PrivilegedHelperTools/$label" "/etc/systemd/system/$unit" \
  "/etc/systemd/system/multi-user.target.wants/$unit" \
  "/usr/share/dbus-1/system-services/$bus_name.service" "/usr/share/dbus-1/system.d/$bus_name.conf" \
  "/usr/share/polkit-1/actions/$label.policy" /usr/local/lib/tarn_ntfs /usr/local/sbin/tarn_ntfs_fix \
  /usr/local/sbin/tarn_ntfs-formatter /usr/local/sbin/tarn_ntfs-diskutil /etc/modprobe.d/tarn_ntfs.conf \
  /sbin/mount.tarn_ntfs; do
  if inside test -e "$path" || inside test -L "$path"; then fail "the purge left $path"; fi
done
[ "$(inside systemctl show -P LoadState "$unit")" = not-found ] || fail "$unit is still known to systemd"
owner=$(inside busctl call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus NameHasOwner s "$bus_name")
[ "$owner" = "b false" ] || fail "the bus name still has an owner"
! inside busctl call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus ListActivatableNames |
  grep -q "\"$bus_name\"" || fail "the bus can still start $bus_name"
# shellcheck disable=SC2016 # expanded inside
! inside sh -c 'for exe in /proc/[0-9]*/exe; do readlink "$exe"; done' 2>/dev/null | grep -q "$label" ||
  fail "a helper still runs"
say "no package file, unit, activation, policy or driver file; the bus name is free; no helper runs"

say "PASSED"
