// tarn_ntfs-probe: what the driver knows about a device, for people and scripts.
#include "Driver/BlockDevice.h"
#include "Driver/DriverRoles.h"
#include "Driver/DriverStatus.h"
#include "Driver/NtfsVolumeState.h"

#include <cstdio>
#include <cstdlib>

namespace ntfs {
namespace {

const char* const me = "tarn_ntfs-probe";
const char* const usageText =
    "usage: tarn_ntfs-probe unused DISK   nothing on the system uses DISK, so it may be erased\n"
    "       tarn_ntfs-probe state DISK    prints the NTFS volume's state: clean, dirty or hibernated\n"
    "       tarn_ntfs-probe holders DISK  prints the processes that hold DISK open, one a line\n"
    "       tarn_ntfs-probe wait PID...   waits (at most 30 s) until these processes have ended (69: they still run)\n"
    "DISK is a device path (/dev/sdb1) or its bare name (sdb1).\n";

int withDevice(const std::string& disk, int (*action)(const BlockDevice&))
{
    std::string why;
    auto device = BlockDevice::named(disk, why);
    return device ? action(*device) : failWith(me, status::notBlockDevice, why);
}

int unused(const BlockDevice& device)
{
    auto usage = device.usage();
    if (usage.use == BlockDevice::Use::Free)
        return status::done;
    return failWith(me, usage.use == BlockDevice::Use::Mounted ? status::busy : status::holdsMounted, usage.why);
}

int state(const BlockDevice& device)
{
    std::string detail;
    auto found = NtfsVolumeState::of(device.path(), {true, 20, status::unreadable}, detail);
    if (found == NtfsVolumeState::State::NotNtfs || found == NtfsVolumeState::State::Unreadable)
        return failWith(me, status::unreadable, detail);
    std::printf("%s\n", NtfsVolumeState::nameOf(found));
    return status::done;
}

int holders(const BlockDevice& device)
{
    for (pid_t holder : device.holders())
        std::printf("%d\n", static_cast<int>(holder));
    return status::done;
}

}  // namespace

int runProbe(const Arguments& arguments)
{
    if (asksForHelp(arguments))
        return showHelp(usageText);
    const std::string verb = arguments.empty() ? "" : arguments[0];
    if (arguments.size() == 2 && verb == "unused")
        return withDevice(arguments[1], unused);
    if (arguments.size() == 2 && verb == "state")
        return withDevice(arguments[1], state);
    if (arguments.size() == 2 && verb == "holders")
        return withDevice(arguments[1], holders);
    if (verb == "wait") {
        std::vector<pid_t> pids;
        for (std::size_t i = 1; i < arguments.size(); ++i)
            pids.push_back(static_cast<pid_t>(std::atoi(arguments[i].c_str())));
        return BlockDevice::waitForEnd(pids, 30000) ? status::done : status::unavailable;
    }
    return failWith(me, status::usage, usageText);
}

}  // namespace ntfs
