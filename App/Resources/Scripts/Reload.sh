#!/bin/sh
# Reloads the NTFS driver's kernel module: unloads it when it is loaded, then loads it again.
# Usage: Reload.sh   (no arguments)
#
# The module is the one that <root>/etc/modprobe.d/tarn_ntfs.conf (Install-Kext.sh) names with
# "alias tarn_ntfs MODULE": the kernel's own NTFS module, loaded with modprobe. The root is
# NTFS_INSTALL_ROOT ("/" when unset or empty). The module tools (lsmod, modprobe) come from PATH.
#
# Exit status: 0 loaded; 64 a relative NTFS_INSTALL_ROOT or an argument; 66 the root names no
# module; 69 a module tool is missing; 71 the module did not load (a kernel without it: volumes
# then mount through ntfs-3g); 75 the loaded module did not unload (in use: try again once its
# volumes are unmounted); 77 needs root for "/".
set -eu

me=Reload
# shellcheck source=driver-common.sh
. "$(dirname "$0")/driver-common.sh"

[ "$#" -eq 0 ] || fail 64 "usage: $me (takes no arguments, got $#)"

take_install_root "loading kernel modules"

conf=$prefix/etc/modprobe.d/tarn_ntfs.conf
module_name=
if [ -f "$conf" ]; then
  # shellcheck disable=SC2034 # the alias's own name is not needed
  while read -r keyword alias target _; do
    if [ "$keyword" = alias ] && [ -n "$target" ]; then module_name=$target; break; fi
  done <"$conf"
fi
[ -n "$module_name" ] || fail 66 "no module named by $conf"
for tool in lsmod modprobe; do
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

modprobe "$module_name" || fail 71 "could not load $module_name"
say "loaded $module_name"
