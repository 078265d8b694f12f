# Shared by the driver scripts beside this file, which source it after setting `me` to their name:
# messages, failing with an exit status, and the destination root.
# shellcheck shell=sh
# shellcheck disable=SC2154 # `me` is set by the script that sources this file

say() { printf '%s: %s\n' "$me" "$*"; }
warn() { printf '%s: warning: %s\n' "$me" "$*" >&2; }
fail() {
  code=$1
  shift
  printf '%s: error: %s\n' "$me" "$*" >&2
  exit "$code"
}

# take_install_root WHAT-NEEDS-ROOT: sets `prefix` from NTFS_INSTALL_ROOT ("/" when unset or empty,
# must be absolute): "/" becomes the empty prefix, "/tmp/r/" becomes "/tmp/r". Working on "/"
# needs root; WHAT-NEEDS-ROOT says what for.
take_install_root() {
  root=${NTFS_INSTALL_ROOT:-/}
  case $root in
    /*) ;;
    *) fail 64 "NTFS_INSTALL_ROOT must be an absolute path, not '$root'" ;;
  esac
  prefix=$root
  while [ "${prefix%/}" != "$prefix" ]; do prefix=${prefix%/}; done
  if [ -z "$prefix" ] && [ "$(id -u)" -ne 0 ]; then
    fail 77 "$1 needs root rights"
  fi
}
