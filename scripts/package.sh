#!/bin/sh
# Builds the Debian packages (debian/): ntfs-helper-setup (the setup app, which carries the helper
# and the driver files) and ntfs-helperctl (the helper's command-line client).
# Usage: scripts/package.sh [OUT-DIR]   (default build/deb; the .deb files land there)
#
# Works on a copy of the source tree in OUT-DIR/source, so that the checkout stays clean; the copy
# keeps its path from run to run, so that ccache (used when installed) finds its objects again.
# NTFS_PACKAGE_VERSION=X.Y.Z builds the same source as version X.Y.Z (packages and the helper's
# bundle version), for trying an upgrade.
set -eu
cd "$(dirname "$0")/.."
repo=$(pwd)
out=${1:-build/deb}
mkdir -p "$out"
out=$(cd "$out" && pwd)
case $out/ in "$repo/debian/"* | "$repo/scripts/"*) echo "package: OUT-DIR inside the sources" >&2; exit 64 ;; esac

scripts/bootstrap.sh

version=$(dpkg-parsechangelog -S Version)
project_version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ "$version" = "$project_version" ] ||
  { echo "package: debian/changelog says $version, CMakeLists.txt $project_version" >&2; exit 65; }

source=$out/source
rm -rf "$source"
mkdir "$source"
# The working tree as it is (uncommitted changes too), without build results.
tar -C "$repo" --exclude=./build --exclude=./stage --exclude=./.git --exclude=./obj-\* -cf - . | tar -C "$source" -xf -

if [ -n "${NTFS_PACKAGE_VERSION:-}" ]; then
  (
    cd "$source"
    sed -i "s/^project(\([A-Za-z]*\) VERSION [0-9.]* /project(\1 VERSION $NTFS_PACKAGE_VERSION /" CMakeLists.txt
    sed -i "/<key>CFBundleVersion<\/key>/{n;s|<string>.*</string>|<string>$NTFS_PACKAGE_VERSION</string>|}" \
      HelperTool/Info.plist
    { printf '%s (%s) %s; urgency=medium\n\n  * Rebuilt as %s.\n\n -- %s  %s\n\n' \
        "$(dpkg-parsechangelog -S Source)" "$NTFS_PACKAGE_VERSION" "$(dpkg-parsechangelog -S Distribution)" \
        "$NTFS_PACKAGE_VERSION" "$(dpkg-parsechangelog -S Maintainer)" "$(date -R)"
      cat debian/changelog; } >debian/changelog.new
    mv debian/changelog.new debian/changelog
  )
  version=$NTFS_PACKAGE_VERSION
fi

cd "$source"
if ! dpkg-checkbuilddeps 2>/dev/null; then
  [ "$(id -u)" -eq 0 ] || { echo "package: missing build dependencies; run as root to install them" >&2; exit 1; }
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -q ./
fi

if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CCACHE_BASEDIR="$source"
fi
# Only this build's packages, so that "apt install OUT-DIR/*.deb" takes one version of each; the
# debug symbols go to OUT-DIR/dbgsym.
rm -rf "$out"/*.deb "$out"/*.changes "$out"/*.buildinfo "$out/dbgsym"
DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=$(nproc)" dpkg-buildpackage -b -us -uc
mkdir "$out/dbgsym"
mv "$out"/*-dbgsym_*.deb "$out/dbgsym/" 2>/dev/null || true
echo "package: built version $version:"
ls -1 "$out"/*.deb
