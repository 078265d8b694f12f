#!/bin/sh
# Installs the NTFS driver's library and tools.
# Usage: Install-Executables.sh LIBRARY REPAIR-TOOL FORMATTER
#
# Places, below NTFS_INSTALL_ROOT ("/" when unset or empty; must be absolute):
#   usr/local/lib/tarn_ntfs/libintl.so.8   the driver's library, in a folder of its own so that it
#                                          never shadows the system's libintl (the tools load it by path)
#   usr/local/sbin/tarn_ntfs_fix           the repair tool
#   usr/local/sbin/tarn_ntfs-formatter     the formatting tool
#   usr/local/sbin/tarn_ntfs-diskutil      the disk utility      } taken from the folder that
#   usr/local/lib/tarn_ntfs/tarn_ntfs-probe  their device probe  } holds REPAIR-TOOL
# The tools launch ntfs-3g's and exfatprogs' programs, so ntfs-3g must be installed first.
# Running it again replaces the same files with the same content.
#
# Exit status: 0 installed; 64 wrong number of arguments or a relative NTFS_INSTALL_ROOT;
# 66 an input file is missing; 69 ntfs-3g is missing (nothing was changed); 73 a destination cannot be created; 77 installing into "/" needs root.
set -eu

me=Install-Executables
# shellcheck source=driver-common.sh
. "$(dirname "$0")/driver-common.sh"

[ "$#" -eq 3 ] || fail 64 "usage: $me LIBRARY REPAIR-TOOL FORMATTER (got $# arguments)"

take_install_root "installing into /"

tools=$(dirname "$2")
for input in "$1" "$2" "$3" "$tools/tarn_ntfs-diskutil" "$tools/tarn_ntfs-probe"; do
  if [ ! -f "$input" ] || [ ! -r "$input" ]; then fail 66 "missing input file: $input"; fi
done

for tool in ntfs-3g mkntfs ntfsfix ntfslabel ntfsinfo ntfscat; do
  command -v "$tool" >/dev/null 2>&1 || fail 69 "$tool is missing: install ntfs-3g first (apt-get install ntfs-3g)"
done
for tool in mkfs.exfat exfatlabel; do
  command -v "$tool" >/dev/null 2>&1 || warn "$tool is missing: exFAT volumes need exfatprogs"
done

# put_file SOURCE DESTINATION MODE: replaces DESTINATION in one step (a running tool keeps its old copy).
put_file() {
  dir=$(dirname "$2")
  mkdir -p "$dir" 2>/dev/null || fail 73 "cannot create $dir"
  if ! cp "$1" "$2.new.$$" 2>/dev/null || ! chmod "$3" "$2.new.$$" || ! mv -f "$2.new.$$" "$2"; then
    rm -f "$2.new.$$"
    fail 73 "cannot write $2"
  fi
  say "installed $2"
}

put_file "$1" "$prefix/usr/local/lib/tarn_ntfs/libintl.so.8" 0644
put_file "$2" "$prefix/usr/local/sbin/tarn_ntfs_fix" 0755
put_file "$3" "$prefix/usr/local/sbin/tarn_ntfs-formatter" 0755
put_file "$tools/tarn_ntfs-diskutil" "$prefix/usr/local/sbin/tarn_ntfs-diskutil" 0755
put_file "$tools/tarn_ntfs-probe" "$prefix/usr/local/lib/tarn_ntfs/tarn_ntfs-probe" 0755
