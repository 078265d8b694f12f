#!/bin/sh
# The main job: builds the project, installs it into stage/, starts the setup app and shows the
# whole install flow working in a throwaway root (NTFS_INSTALL_ROOT, a temporary folder), so that
# nothing on this machine changes outside the repository:
#   Install is clicked (xdotool), the install script and the bless tool run as root, the driver
#   files and the helper with its registration land in the throwaway root, the registered helper is
#   started on a private D-Bus system bus and answers its version, and Uninstall.sh removes it all.
# The app shows on $DISPLAY when that display can be used, else in an Xvfb server of its own.
# Screenshots go to stage/main-job/. Runs as root (see README.md for a real installation).
set -eu
cd "$(dirname "$0")/.."
repo=$(pwd)

app_name=com.tarn.mac.utility.website.ntfs.HelperApp
label=com.zel.ntfs.HelperTool
service_name=com.tarn.mac.utility.store.ntfs.HelperTool
light_blue='#8cc2f5'   # the Install button's fill (App/Resources/Colors.json)

step_number=0
step() {
  step_number=$((step_number + 1))
  printf '\n== %d. %s\n' "$step_number" "$*"
}
info() { printf '   %s\n' "$*"; }
die() {
  printf 'main-job: %s\n' "$*" >&2
  exit 1
}

step "Packages: scripts/bootstrap.sh"
scripts/bootstrap.sh
info "every package is there"

step "Build: cmake --preset default, then what the installation needs"
cmake --preset default >/dev/null
cmake --build --preset default --target ntfs_installable -j "$(nproc)"

stage=$repo/stage
step "Install into the staging folder: cmake --install build/default --prefix $stage"
rm -rf "$stage"
cmake --install build/default --prefix "$stage" | sed "s|^-- Installing: $stage/|   |"
app_dir=$stage/libexec/$app_name
out=$stage/main-job
mkdir -p "$out"

if [ "$(id -u)" -ne 0 ]; then
  die "the rest runs the app's install flow as root into a throwaway root; run this script as root
  (as another user the app asks for consent through pkexec, which would install into the real /)"
fi

work=$(mktemp -d)
root=$work/root
mkdir "$root"
pids=""
loop=""
# The user's mount folder that ntfs-helperctl mount makes, unless it was there before.
media_folder=/media/$(id -un)
[ -d "$media_folder" ] && media_folder=""
cleanup() {
  if [ -n "$loop" ]; then
    while findmnt --source "$loop" >/dev/null 2>&1 && umount "$loop"; do :; done
    losetup -d "$loop" 2>/dev/null || true
  fi
  [ -z "$media_folder" ] || find "$media_folder" -depth -type d -empty -delete 2>/dev/null || true
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  for pid in $pids; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step "Throwaway root: NTFS_INSTALL_ROOT=$root"
info "the install scripts and the bless tool write below it instead of /"

step "Display"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  info "using your display $DISPLAY (the mouse will move to click Install)"
else
  mkfifo "$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids="$pids $!"
  read -r display_number <"$work/display"
  DISPLAY=":$display_number"
  export DISPLAY
  info "no usable display: started Xvfb on $DISPLAY"
fi

step "Start the staged app: $stage/bin/$app_name"
# The app sees no system bus: a restart pressed on the last screen must not reach this machine.
NTFS_INSTALL_ROOT=$root QT_QPA_PLATFORM=xcb DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-system-bus" \
  "$stage/bin/$app_name" >"$work/app.log" 2>&1 &
app_pid=$!
pids="$pids $app_pid"
window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$app_pid" | head -n 1) \
  || die "the app opened no window; its output: $(cat "$work/app.log")"
info "window $window (pid $app_pid)"

# find_install_button: sets button to "WxH+X+Y" of the Install button's fill in the window, once
# the window shows it (the first frames may still be empty).
find_install_button() {
  tries=0
  while [ "$tries" -lt 40 ]; do
    import -window "$window" "$work/window.png" 2>/dev/null || true
    button=$(convert "$work/window.png" -fill black +opaque "$light_blue" -fill white -opaque "$light_blue" \
      -format '%@' info: 2>/dev/null || true)
    case $button in 0x0*|"") ;; *) return 0 ;; esac
    tries=$((tries + 1))
    sleep 0.25
  done
  return 1
}
find_install_button || die "no Install button in the window"
cp "$work/window.png" "$out/1-install-screen.png"
info "installation screen: $out/1-install-screen.png"

step "Click Install (xdotool)"
width=${button%%x*}
rest=${button#*x}
height=${rest%%+*}
rest=${rest#*+}
x=${rest%%+*}
y=${rest#*+}
click_x=$((x + width / 2))
click_y=$((y + height / 2))
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
xdotool mousemove --window "$window" "$click_x" "$click_y" click 1
info "clicked at ($click_x, $click_y) in the window"

step "Wait for the install script and the bless step"
helper=$root/Library/PrivilegedHelperTools/$label
unit=$root/etc/systemd/system/$label.service
tries=0
until [ -f "$helper" ] && [ -f "$unit" ] && [ -f "$root/usr/share/polkit-1/actions/$label.policy" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 240 ] || ! kill -0 "$app_pid" 2>/dev/null; then
    import -window root "$out/failure.png" 2>/dev/null || true
    die "the helper was not registered in time; screen: $out/failure.png"
  fi
  sleep 0.25
done
info "files below the throwaway root now:"
(cd "$root" && find . ! -type d | sed 's|^\./|     /|' | sort)

# The guidance screen replaces the installation screen once the bless step has reported back.
tries=0
while [ "$tries" -lt 40 ]; do
  import -window "$window" "$out/2-after-install.png" 2>/dev/null || true
  if ! compare -metric AE "$out/1-install-screen.png" "$out/2-after-install.png" null: 2>/dev/null; then break; fi
  tries=$((tries + 1))
  sleep 0.25
done
info "screen after the install: $out/2-after-install.png"

step "Start the registered helper on a private system bus"
program=$(sed -n 's/^ExecStart=//p' "$unit")
info "the unit runs $program (here: $root$program)"
sed -e "s|@SOCKET@|$work/bus_socket|" -e "s|@POLICY@||" \
  -e "s|@INCLUDES@|  <include>$root/usr/share/dbus-1/system.d/$service_name.conf</include>|" \
  "$repo/tests/support/system-bus.conf.in" >"$work/bus.conf"
mkfifo "$work/bus-address"
dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile --print-address=3 3>"$work/bus-address" \
  2>"$work/bus.log" &
pids="$pids $!"
read -r bus_address <"$work/bus-address"
info "bus: $bus_address (policy included from the throwaway root)"
DBUS_SYSTEM_BUS_ADDRESS=$bus_address "$root$program" &
pids="$pids $!"
tries=0
until version=$(DBUS_SYSTEM_BUS_ADDRESS=$bus_address "$stage/bin/ntfs-helperctl" call version 2>/dev/null); do
  tries=$((tries + 1))
  [ "$tries" -le 40 ] || die "the registered helper did not answer"
  sleep 0.25
done
info "ntfs-helperctl call version -> $version"
[ "$version" = "1.0.5" ] || die "expected version 1.0.5"

step "Messages with their own arguments (ntfs-helperctl call ...)"
for call in "check /bin/echo sdb1" "filter $root$program /nonexistent/tarn_ntfs.kext" \
  "fda-test /bin/false" "format /bin/echo sdb1 0 DATA volume" "mount-log"; do
  info "ntfs-helperctl call $call"
  # shellcheck disable=SC2086 # each call is a message and its arguments
  DBUS_SYSTEM_BUS_ADDRESS=$bus_address "$stage/bin/ntfs-helperctl" call $call 2>&1 | sed 's/^/     /' || true
done

step "A real NTFS round trip on a loop image: the everyday verbs, with the device's name alone"
helperctl() {
  info "ntfs-helperctl $*"
  # The tools' last lines are enough to follow; the driver is the one installed below the root.
  NTFS_INSTALL_ROOT=$root DBUS_SYSTEM_BUS_ADDRESS=$bus_address "$stage/bin/ntfs-helperctl" "$@" 2>&1 | tail -n 3 |
    sed 's/^/     /'
}
if [ ! -e /dev/loop-control ] || [ ! -e /dev/fuse ]; then
  info "skipped: this machine has no loop devices or no FUSE"
else
  truncate -s 64M "$work/ntfs.img"
  loop=$(losetup -f --show "$work/ntfs.img")
  device=${loop#/dev/}
  info "image $work/ntfs.img on $loop"
  helperctl format "$device" --ntfs "Main Jöb" --yes
  helperctl mount "$device"
  volume=$(findmnt -n -o TARGET --source "$loop" | tail -n 1)
  [ -n "$volume" ] || die "$loop is not mounted"
  info "mounted at $volume, owned by $(stat -c %U "$volume")"
  head -c 3000000 /dev/urandom >"$volume/Grüße aus dem Job.bin"
  echo "written through the helper's mount" >"$volume/read me.txt"
  sums=$(cd "$volume" && sha256sum -- *)
  info "written:"
  printf '%s\n' "$sums" | sed 's/^/     /'
  helperctl list
  helperctl unmount "$device"
  [ ! -e "$volume" ] || die "unmount left the mount point $volume"
  helperctl check "$device"
  helperctl rename "$device" "Renamed Jöb"
  info "what ntfs-3g's own tools see:"
  info "  ntfslabel: $(ntfslabel "$loop")"
  info "  ntfsinfo:  $(ntfsinfo -m "$loop" | grep -E 'Volume (Name|Flags)' | tr -s '\t\n' '  ')"
  seen=$(mkdir -p "$work/seen" && for f in "Grüße aus dem Job.bin" "read me.txt"; do
    ntfscat "$loop" "$f" >"$work/seen/$f"; done && cd "$work/seen" && sha256sum -- *)
  [ "$seen" = "$sums" ] || die "ntfscat reads other contents than were written"
  info "  ntfscat:   both files read back with the sha256 sums that were written"
  losetup -d "$loop"
  loop=""
fi

step "Uninstall: $app_dir/Resources/Uninstall.sh"
NTFS_INSTALL_ROOT=$root sh "$app_dir/Resources/Uninstall.sh" | sed 's/^/   /'
left=$(cd "$root" && find . ! -type d)
[ -z "$left" ] || die "left behind: $left"
info "nothing of the driver or the helper is left below the throwaway root"

step "Done"
info "staged installation: $stage (app folder $app_dir)"
info "screenshots: $out/1-install-screen.png, $out/2-after-install.png"
