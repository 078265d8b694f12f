#!/bin/sh
# Reloads the NTFS driver's kernel module: unloads it when it is loaded, then loads it again.
# Usage: Reload.sh   (no arguments)
#
# With NTFS_INSTALL_ROOT unset, empty or "/", the module is loaded with modprobe, as Install-Kext.sh
# indexed it. With another (absolute) root, the running kernel gets that root's copy,
# <root>/lib/modules/<uname -r>/extra/tarn_ntfs.ko, through insmod, since that tree has no index.
# The module tools (lsmod, modprobe, insmod) are taken from PATH.
#
# Exit status: 0 loaded; 64 a relative NTFS_INSTALL_ROOT or an argument; 66 the root holds no
# module file; 69 a module tool is missing; 71 the module did not load; 75 the loaded module did
# not unload (in use: try again once its volumes are unmounted); 77 needs root for "/".
set -eu

me=Reload
# shellcheck source=driver-common.sh
. "$(dirname "$0")/driver-common.sh"

[ "$#" -eq 0 ] || fail 64 "usage: $me (takes no arguments, got $#)"

take_install_root "loading kernel modules"

module_name=tarn_ntfs
module_file=
if [ -n "$prefix" ]; then
  module_file=$prefix/lib/modules/$(uname -r)/extra/$module_name.ko
  [ -f "$module_file" ] || fail 66 "no module file at $module_file"
  loader=insmod
else
  loader=modprobe
fi
for tool in lsmod modprobe "$loader"; do
  command -v "$tool" >/dev/null 2>&1 || fail 69 "$tool not found"
done

module_loaded() {
  lsmod | {
    while read -r name _; do
      [ "$name" = "$module_name" ] && return 0
    done
    return 1
  }
}

if module_loaded; then
  modprobe -r "$module_name" || fail 75 "could not unload $module_name"
  say "unloaded $module_name"
else
  say "$module_name was not loaded"
fi

if [ -n "$module_file" ]; then
  insmod "$module_file" || fail 71 "could not load $module_file"
  say "loaded $module_file"
else
  modprobe "$module_name" || fail 71 "could not load $module_name"
  say "loaded $module_name"
fi
