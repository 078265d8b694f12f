#!/bin/sh
# shellcheck disable=SC2154,SC2016 # root and work come from container.sh; $ expands inside the container
# An administrator's latency on the real system bus of a booted Debian container while another
# user floods the helper: 64 checkDisk calls sent at once by "admin" (whom a polkit rule admits),
# quiet and during the flood of "guest" (100 connections x 120 calls of 64 KiB, refused by polkit).
# BUS is "dbus-daemon" (Debian's default) or "dbus-broker" (installed from BROKER-DEB into the
# container's overlay only). Prints the figures; asserts nothing.
# Usage: bus_flood_latency.sh BUILD-DIR dbus-daemon|dbus-broker [BROKER-DEB]
# Exit status: 0 measured, 1 failed, 77 skipped (this machine cannot boot a container).
set -eu

build=$(cd "$1" && pwd)
bus=$2
broker_deb=${3:-}
label=com.zel.ntfs.HelperTool
# shellcheck source=/dev/null # shared with the booted-system tests
. "${NTFS_CONTAINER_SH:-$(dirname "$0")/../tests/system/container.sh}"
container_prepare

step "Users, the helper, a polkit rule admitting admin, $bus"
chroot "$root" useradd -m -G sudo -s /bin/sh admin
chroot "$root" useradd -m -s /bin/sh guest
# The helper where the bless step puts it, with the registration files it writes.
install -D -m 0755 "$build/HelperTool/$label" "$root/Library/PrivilegedHelperTools/$label"
"$build/HelperTool/ntfs-helper-registration" "$build/HelperTool/$label" "$root" >"$work/install.log"
install -D -m 0755 "$build/tests/HelperTool/flood_caller" "$root/usr/local/bin/flood_caller"
mkdir -p "$root/etc/polkit-1/rules.d"
cat >"$root/etc/polkit-1/rules.d/50-bench.rules" <<'RULE'
polkit.addRule(function(action, subject) {
  if (action.id == "com.zel.ntfs.HelperTool.use" && subject.user == "admin") return polkit.Result.YES;
});
RULE
if [ "$bus" = dbus-broker ]; then
  [ -f "$broker_deb" ] || fail "dbus-broker needs its package: $0 BUILD-DIR dbus-broker BROKER-DEB"
  cp "$broker_deb" "$root/tmp/broker.deb"
  chroot "$root" dpkg -i /tmp/broker.deb >"$work/broker.log" 2>&1 || fail "dbus-broker did not install: $(tail -n 3 "$work/broker.log")"
  chroot "$root" systemctl enable dbus-broker.service >>"$work/broker.log" 2>&1
fi

step "Boot"
boot || skip "the container did not boot here (state: ${state:-none})"
inside systemctl start "$label.service" || fail "the helper did not start"
say "bus: $(inside sh -c 'cat /proc/$(systemctl show -p MainPID --value dbus.service)/comm')"

# burst USER: milliseconds for 64 checkDisk calls sent at once (as many as may wait for the
# caller's check), and their answers.
burst() {
  as_user "$1" 'start=$(date +%s%N); out=$(flood_caller 1 64 16 | tr "\n" " "); echo "$((($(date +%s%N) - start) / 1000000)) ms: $out"'
}

step "Measure"
for round in 1 2 3; do say "quiet, round $round: admin $(burst admin)"; done
as_user guest 'flood_caller 100 120 >"$HOME/flood.out" 2>&1' &
flood=$!
tries=0
until grep -q flooding "$root/home/guest/flood.out" 2>/dev/null || [ "$tries" -ge 300 ]; do
  sleep 0.1
  tries=$((tries + 1))
done
for round in 1 2 3; do say "flooded, round $round: admin $(burst admin)"; done
wait "$flood" || true
say "guest's flood: $(tr '\n' ' ' <"$root/home/guest/flood.out")"
say "helper resident: $(inside sh -c "grep VmHWM /proc/\$(systemctl show -p MainPID --value $label.service)/status")"
