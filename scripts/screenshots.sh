#!/bin/sh
# Captures every scene of the setup app in a real X window (Xvfb) into docs/screenshots/*.png.
# Usage: scripts/screenshots.sh [build-dir]   (default build/default; builds ntfs_app_screenshots)
set -eu
cd "$(dirname "$0")/.."
build="${1:-build/default}"
out=docs/screenshots

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset default >/dev/null
fi
cmake --build "$build" --target ntfs_app_screenshots >/dev/null
tool="$build/App/ntfs_app_screenshots"

work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb writes the display number it picked to the pipe once it accepts clients.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
read -r display_number <"$work/display"
export DISPLAY=":$display_number"
export QT_QPA_PLATFORM=xcb
# The installing scenes run the real install script: into a throwaway root.
export NTFS_INSTALL_ROOT="$work/root"
mkdir -p "$NTFS_INSTALL_ROOT"
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
mkdir -p "$out"

# capture <scene> <file> [LANG]: runs the tool until it reports the area to capture.
capture() {
  scene="$1"
  file="$2"
  lang="${3:-en_US.UTF-8}"
  rm -f "$work/ready"
  mkfifo "$work/ready"
  LANG="$lang" LC_ALL="$lang" LANGUAGE="" "$tool" "$scene" >"$work/ready" 2>"$work/$scene.log" &
  tool_pid=$!
  if ! read -r word x y w h <"$work/ready" || [ "$word" != ready ]; then
    echo "screenshots: $scene did not get ready" >&2
    cat "$work/$scene.log" >&2
    kill "$tool_pid" 2>/dev/null || true
    exit 1
  fi
  import -window root -crop "${w}x${h}+${x}+${y}" +repage -strip -define png:exclude-chunks=date,time "$out/$file"
  kill "$tool_pid"
  wait "$tool_pid" 2>/dev/null || true
  echo "$out/$file"
}

capture install install.png
capture installing installing.png
capture installing-dark installing-dark.png
capture grantFDA grantFDA.png
capture justReboot justReboot.png
capture scanQRCode scanQRCode.png
capture helper helper.png
capture popover popover.png
capture grantFDA grantFDA-de.png de_DE.UTF-8
capture popover popover-de.png de_DE.UTF-8
