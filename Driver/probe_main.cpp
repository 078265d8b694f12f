// tarn_ntfs-probe: what the driver's launchers ask before they touch a device.
#include "BlockDevice.h"
#include "NtfsVolumeState.h"

#include <cstdio>
#include <cstdlib>
#include <vector>
#include <string>

namespace {

using ntfs::BlockDevice;
using ntfs::NtfsVolumeState;

// Shared with the launchers, which pass them on (see --help).
constexpr int usageStatus = 64;
constexpr int notNtfsStatus = 65;
constexpr int notBlockDeviceStatus = 66;
constexpr int stillRunningStatus = 69;
constexpr int mountedStatus = 75;
constexpr int holdsMountedStatus = 76;

const char* const help =
    "Usage: tarn_ntfs-probe unused DISK   nothing on the system uses DISK, so it may be erased\n"
    "       tarn_ntfs-probe state DISK    prints the NTFS volume's state: clean, dirty or hibernated\n"
    "       tarn_ntfs-probe holders DISK  prints the processes that hold DISK open, one a line\n"
    "       tarn_ntfs-probe wait PID...   waits (at most 30 s) until these processes have ended\n"
    "DISK is a device path (/dev/sdb1) or its bare name (sdb1).\n"
    "Exit status: 0 yes (state: printed); 64 usage; 65 state: not NTFS, or unreadable;\n"
    "66 not a block device; 75 unused: DISK is mounted (or swap, or held open exclusively);\n"
    "69 wait: they still run; 76 unused: DISK holds a mounted volume (a partition, a volume built on it, the system's root).\n";

int unused(const std::string& disk)
{
    std::string why;
    auto device = BlockDevice::named(disk, why);
    if (!device) {
        std::fprintf(stderr, "tarn_ntfs-probe: %s\n", why.c_str());
        return notBlockDeviceStatus;
    }
    auto usage = device->usage();
    if (usage.use == BlockDevice::Use::Free)
        return 0;
    std::fprintf(stderr, "tarn_ntfs-probe: %s\n", usage.why.c_str());
    return usage.use == BlockDevice::Use::Mounted ? mountedStatus : holdsMountedStatus;
}

int state(const std::string& disk)
{
    std::string why;
    auto device = BlockDevice::named(disk, why);
    if (!device) {
        std::fprintf(stderr, "tarn_ntfs-probe: %s\n", why.c_str());
        return notBlockDeviceStatus;
    }
    std::string detail;
    auto found = NtfsVolumeState::of(device->path(), detail);
    if (found == NtfsVolumeState::State::NotNtfs || found == NtfsVolumeState::State::Unreadable) {
        std::fprintf(stderr, "tarn_ntfs-probe: %s\n", detail.c_str());
        return notNtfsStatus;
    }
    std::printf("%s\n", NtfsVolumeState::nameOf(found));
    return 0;
}

int holders(const std::string& disk)
{
    std::string why;
    auto device = BlockDevice::named(disk, why);
    if (!device) {
        std::fprintf(stderr, "tarn_ntfs-probe: %s\n", why.c_str());
        return notBlockDeviceStatus;
    }
    for (pid_t pid : device->holders())
        std::printf("%d\n", static_cast<int>(pid));
    return 0;
}

int wait(int count, char** pids)
{
    std::vector<pid_t> waited;
    for (int i = 0; i < count; ++i)
        waited.push_back(static_cast<pid_t>(std::atoi(pids[i])));
    return BlockDevice::waitForEnd(waited, 30000) ? 0 : stillRunningStatus;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "--help" || verb == "-h") {
        std::fputs(help, stdout);
        return 0;
    }
    if (argc == 3 && verb == "unused")
        return unused(argv[2]);
    if (argc == 3 && verb == "state")
        return state(argv[2]);
    if (argc == 3 && verb == "holders")
        return holders(argv[2]);
    if (verb == "wait")
        return wait(argc - 2, argv + 2);
    std::fputs(help, stderr);
    return usageStatus;
}
