#!/bin/sh
# Installs every Debian package that building, testing and running the project needs.
# Runs apt only when something is missing, so a prepared machine starts at once.
set -eu

PACKAGES="cmake ninja-build g++ pkg-config binutils
libsdbus-c++-dev libsdbus-c++-bin libsystemd-dev dbus-daemon dbus-bin
libplist-dev libplist++-dev libkmod-dev kmod systemd
qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n libgl-dev
libgtest-dev libgmock-dev libbenchmark-dev
xvfb imagemagick xdotool x11-utils qrencode fonts-dejavu-core shellcheck
pkexec polkitd
mmdebstrap systemd-container debhelper dpkg-dev lintian ccache
ntfs-3g ntfs-3g-dev exfatprogs util-linux mount fdisk libblkid-dev libmount-dev strace python3"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "bootstrap: missing packages:$missing; run this script as root to install them" >&2
  exit 1
fi
echo "bootstrap: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
