#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateBus.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace ntfs::test;

namespace {

// In a mount namespace of its own the system bus socket is ours (pkexec, being setuid, ignores
// DBUS_SYSTEM_BUS_ADDRESS); polkitd serves it, and the probe runs as nobody.
constexpr const char* scenario = R"(
mount -t tmpfs none /run/dbus && ln -s "$1" /run/dbus/system_bus_socket || exit 90
/usr/lib/polkit-1/polkitd --no-debug >/dev/null 2>&1 &
polkitd=$!
for i in $(seq 100); do dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
  string:org.freedesktop.PolicyKit1 2>/dev/null | grep -q 'boolean true' && break; sleep 0.1; done
setpriv --reuid=65534 --regid=65534 --clear-groups "$2" "$3"
kill $polkitd
)";

std::string whyNot()
{
    if (geteuid() != 0)
        return "needs root to set up the private mount namespace";
    for (const char* tool : {"/usr/bin/pkexec", "/usr/lib/polkit-1/polkitd", "/usr/bin/unshare", "/usr/bin/setpriv"})
        if (access(tool, X_OK) != 0)
            return std::string(tool) + " is missing";
    if (ChildProcess::run({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/true"}).first != 0)
        return "cannot create a mount namespace here";
    return {};
}

}  // namespace

TEST(RealPkexec, APromptDismissedThroughTheAgentIsCanceled)
{
    if (auto reason = whyNot(); !reason.empty())
        GTEST_SKIP() << reason;
    PrivateBus bus({PrivateBusOptions::Kind::System, {"/usr/share/dbus-1/system.d/org.freedesktop.PolicyKit1.conf"}, {}});
    const auto path = bus.address().substr(0, bus.address().find(','));
    const auto socket = path.substr(path.find('=') + 1);
    auto [code, output] = ChildProcess::run({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                                             scenario, "scenario", socket, NTFS_PKEXEC_PROBE_PATH, NTFS_TRAMPOLINE_PATH},
                                            {{bus.environmentEntry()}, std::nullopt, true});
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("status=-60006 running=0 handle=0"), std::string::npos) << output;
}
