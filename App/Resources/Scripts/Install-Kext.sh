#!/bin/sh
# Installs the whole NTFS driver: library and tools (through Install-Executables.sh beside this
# script), kernel module and file-system bundle.
# Usage: Install-Kext.sh LIBRARY REPAIR-TOOL FORMATTER KEXT-BUNDLE FS-BUNDLE
#
# Places, below NTFS_INSTALL_ROOT ("/" when unset or empty; must be absolute), besides those of
# Install-Executables.sh:
#   usr/local/lib/tarn_ntfs/tarn_ntfs.kext/        the module bundle, as the helper's load-by-path
#                                                  and uninstall messages name it
#   etc/modprobe.d/tarn_ntfs.conf                  "alias tarn_ntfs ntfs3": the bundle names the
#                                                  kernel's own NTFS module, which modprobe then
#                                                  loads (KEXT-BUNDLE/Contents/Linux/tarn_ntfs.conf)
#   usr/local/lib/tarn_ntfs/tarn_ntfs.fs/          the file-system bundle
#   sbin/mount.tarn_ntfs                           symbolic link to the bundle's mount helper
#                                                  (FS-BUNDLE/Contents/Resources/mount.tarn_ntfs), so
#                                                  that "mount -t tarn_ntfs" finds it
#   usr/local/lib/tarn_ntfs/tarn_ntfs-kctl         the driver's control channel responder (taken
#                                                  from the folder that holds REPAIR-TOOL)
#   etc/systemd/system/tarn_ntfs-kctl.socket,      the channel (socket activation), enabled
#     etc/systemd/system/tarn_ntfs-kctl@.service   (sockets.target.wants/), from KEXT-BUNDLE/Contents/Linux/
#   etc/tmpfiles.d/tarn_ntfs.conf                  the driver's store /run/tarn_ntfs/, made at every boot
# When the root is "/" and systemd runs, the store is made and the channel started at once.
#
# Exit status: 0 installed; 64 wrong number of arguments or a relative NTFS_INSTALL_ROOT;
# 66 an input is missing; 69 ntfs-3g is missing; 73 a destination cannot be created;
# 77 installing into "/" needs root.
set -eu

me=Install-Kext
# shellcheck source=driver-common.sh
. "$(dirname "$0")/driver-common.sh"

[ "$#" -eq 5 ] || fail 64 "usage: $me LIBRARY REPAIR-TOOL FORMATTER KEXT-BUNDLE FS-BUNDLE (got $# arguments)"

take_install_root "installing into /"

module_name=tarn_ntfs
module_in_bundle=Contents/Linux/$module_name.conf
mount_helper_in_bundle=Contents/Resources/mount.$module_name
for input in "$1" "$2" "$3"; do
  if [ ! -f "$input" ] || [ ! -r "$input" ]; then fail 66 "missing input file: $input"; fi
done
if [ ! -d "$4" ] || [ ! -f "$4/$module_in_bundle" ]; then
  fail 66 "missing module bundle (with $module_in_bundle): $4"
fi
channel=tarn_ntfs-kctl
for input in "$(dirname "$2")/$channel" "$4/Contents/Linux/$channel.socket" "$4/Contents/Linux/$channel@.service" \
  "$4/Contents/Linux/$module_name.tmpfiles"; do
  if [ ! -f "$input" ] || [ ! -r "$input" ]; then fail 66 "missing input file: $input"; fi
done
if [ ! -d "$5" ] || [ ! -x "$5/$mount_helper_in_bundle" ]; then
  fail 66 "missing file-system bundle (with $mount_helper_in_bundle): $5"
fi

# Everything of ours checked; Install-Executables.sh checks its tools before it changes anything.
/bin/sh "$(dirname "$0")/Install-Executables.sh" "$1" "$2" "$3"

make_dir() {
  mkdir -p "$1" 2>/dev/null || fail 73 "cannot create $1"
}

# put_file SOURCE DESTINATION MODE: replaces DESTINATION in one step.
put_file() {
  make_dir "$(dirname "$2")"
  if ! cp "$1" "$2.new.$$" 2>/dev/null || ! chmod "$3" "$2.new.$$" || ! mv -f "$2.new.$$" "$2"; then
    rm -f "$2.new.$$"
    fail 73 "cannot write $2"
  fi
  say "installed $2"
}

# put_tree SOURCE-FOLDER DESTINATION: replaces DESTINATION by a copy owned by root, writable by no
# one else (the copy does not keep the bundle owner's rights).
put_tree() {
  make_dir "$(dirname "$2")"
  rm -rf "$2.new.$$"
  if ! cp -R "$1" "$2.new.$$" 2>/dev/null || ! chmod -R go-w "$2.new.$$" \
     || ! rm -rf "$2" || ! mv "$2.new.$$" "$2"; then
    rm -rf "$2.new.$$"
    fail 73 "cannot write $2"
  fi
  say "installed $2/"
}

bundles=$prefix/usr/local/lib/tarn_ntfs

put_tree "$4" "$bundles/$module_name.kext"
put_file "$4/$module_in_bundle" "$prefix/etc/modprobe.d/$module_name.conf" 0644

put_tree "$5" "$bundles/$module_name.fs"
link=$prefix/sbin/mount.$module_name
make_dir "$(dirname "$link")"
# The link names the helper as the target system sees it, without the root prefix.
ln -sfn "/usr/local/lib/tarn_ntfs/$module_name.fs/$mount_helper_in_bundle" "$link" 2>/dev/null \
  || fail 73 "cannot create $link"
say "linked $link -> /usr/local/lib/tarn_ntfs/$module_name.fs/$mount_helper_in_bundle"

# The driver's control channel and store (what its kernel part offers on other systems).
units=$prefix/etc/systemd/system
put_file "$(dirname "$2")/$channel" "$bundles/$channel" 0755
put_file "$4/Contents/Linux/$channel.socket" "$units/$channel.socket" 0644
put_file "$4/Contents/Linux/$channel@.service" "$units/$channel@.service" 0644
put_file "$4/Contents/Linux/$module_name.tmpfiles" "$prefix/etc/tmpfiles.d/$module_name.conf" 0644
make_dir "$units/sockets.target.wants"
ln -sfn "/etc/systemd/system/$channel.socket" "$units/sockets.target.wants/$channel.socket" 2>/dev/null \
  || fail 73 "cannot enable $channel.socket"
say "enabled $channel.socket"
if [ -z "$prefix" ] && [ -d /run/systemd/system ] && command -v systemctl >/dev/null 2>&1; then
  systemd-tmpfiles --create "/etc/tmpfiles.d/$module_name.conf" || fail 73 "cannot make the driver's store in /run/tarn_ntfs"
  systemctl daemon-reload || fail 73 "systemctl daemon-reload failed"
  systemctl restart "$channel.socket" || fail 73 "cannot start $channel.socket"
  say "made /run/tarn_ntfs and started $channel.socket"
elif [ -z "$prefix" ]; then
  for dir in /run/tarn_ntfs /run/tarn_ntfs/config; do
    { [ -d "$dir" ] || mkdir -m 0700 "$dir"; } || fail 73 "cannot make $dir"
  done
  warn "systemd does not run here: the driver's control channel answers once it does"
fi
