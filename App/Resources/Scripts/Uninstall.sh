#!/bin/sh
# Removes the NTFS driver and the privileged helper's registration again.
# Usage: Uninstall.sh   (no arguments)
#
# Removes, below NTFS_INSTALL_ROOT ("/" when unset or empty; must be absolute), whatever of these is
# there, and nothing else:
#   the driver: usr/local/lib/tarn_ntfs/ (library and bundles), usr/local/sbin/tarn_ntfs_fix,
#     usr/local/sbin/tarn_ntfs-formatter, usr/local/sbin/tarn_ntfs-diskutil,
#     etc/modprobe.d/tarn_ntfs.conf, sbin/mount.tarn_ntfs, its control channel
#     etc/systemd/system/tarn_ntfs-kctl.socket (and its link in sockets.target.wants/),
#     etc/systemd/system/tarn_ntfs-kctl@.service, its store etc/tmpfiles.d/tarn_ntfs.conf and
#     run/tarn_ntfs/, and the channel's socket folder run/kernel-control/com.tarn.ntfs-support.kext/
#   the helper: Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool (and those two folders when
#     empty), etc/systemd/system/com.zel.ntfs.HelperTool.service, its D-Bus activation file and bus
#     policy, and its polkit action
# When the root is "/": first removes the bus activation file and stops and disables the helper's
# unit and the driver's channel (where systemd runs); afterwards reloads systemd and the bus. The
# NTFS module is the kernel's own and stays loaded for whoever uses it. Running it again when
# nothing is left only says so.
#
# Exit status: 0 removed (or nothing there); 64 a relative NTFS_INSTALL_ROOT or an argument;
# 74 a file could not be removed; 77 uninstalling from "/" needs root.
set -eu

me=Uninstall
# shellcheck source=driver-common.sh
. "$(dirname "$0")/driver-common.sh"

[ "$#" -eq 0 ] || fail 64 "usage: $me (takes no arguments, got $#)"

take_install_root "uninstalling from /"

label=com.zel.ntfs.HelperTool
service_name=com.tarn.mac.utility.store.ntfs.HelperTool
unit=$label.service
module_name=tarn_ntfs
removed=0

systemd_runs() {
  [ -z "$prefix" ] && [ -d /run/systemd/system ] && command -v systemctl >/dev/null 2>&1
}

# remove PATH: removes a file, a link or a whole folder of ours.
remove() {
  if [ -e "$1" ] || [ -L "$1" ]; then
    rm -rf "$1" 2>/dev/null || fail 74 "cannot remove $1"
    say "removed $1"
    removed=$((removed + 1))
  fi
}

# remove_empty_dir PATH: the folder goes only when nothing else lives in it.
remove_empty_dir() {
  if [ -d "$1" ] && rmdir "$1" 2>/dev/null; then say "removed $1/"; fi
}

# reload_bus: the bus forgets an activation file or policy now rather than whenever it notices.
reload_bus() {
  systemctl reload dbus.service >/dev/null 2>&1 || warn "the bus did not reload its configuration"
}

if systemd_runs && [ -e "/etc/systemd/system/$unit" ]; then
  # The bus could start the helper again between its stop and the files' removal.
  remove "/usr/share/dbus-1/system-services/$service_name.service"
  reload_bus
  if systemctl disable --now "$unit" >/dev/null 2>&1; then
    say "stopped and disabled $unit"
  else
    warn "could not stop and disable $unit"
  fi
fi

channel=tarn_ntfs-kctl
if systemd_runs && [ -e "/etc/systemd/system/$channel.socket" ]; then
  if systemctl disable --now "$channel.socket" >/dev/null 2>&1; then
    say "stopped and disabled $channel.socket"
  else
    warn "could not stop and disable $channel.socket"
  fi
fi
before=$removed
remove "$prefix/etc/systemd/system/sockets.target.wants/$channel.socket"
remove "$prefix/etc/systemd/system/$channel.socket"
remove "$prefix/etc/systemd/system/$channel@.service"
channel_removed=$((removed - before))
remove "$prefix/etc/tmpfiles.d/$module_name.conf"
remove "$prefix/run/$module_name"
remove "$prefix/run/kernel-control/com.tarn.ntfs-support.kext"
remove_empty_dir "$prefix/run/kernel-control"

remove "$prefix/usr/local/sbin/tarn_ntfs_fix"
remove "$prefix/usr/local/sbin/tarn_ntfs-formatter"
remove "$prefix/usr/local/sbin/tarn_ntfs-diskutil"
remove "$prefix/etc/modprobe.d/$module_name.conf"
remove "$prefix/sbin/mount.$module_name"
remove "$prefix/usr/local/lib/tarn_ntfs"

remove "$prefix/Library/PrivilegedHelperTools/$label"
remove_empty_dir "$prefix/Library/PrivilegedHelperTools"
remove_empty_dir "$prefix/Library"
before=$removed
remove "$prefix/etc/systemd/system/$unit"
unit_removed=$((removed - before))
remove "$prefix/usr/share/dbus-1/system-services/$service_name.service"
remove "$prefix/usr/share/dbus-1/system.d/$service_name.conf"
remove "$prefix/usr/share/polkit-1/actions/$label.policy"

if [ "$((unit_removed + channel_removed))" -gt 0 ] && systemd_runs; then
  if systemctl daemon-reload; then say "reloaded systemd"; else warn "systemctl daemon-reload failed"; fi
  reload_bus
fi
[ "$removed" -gt 0 ] || say "nothing to remove"
