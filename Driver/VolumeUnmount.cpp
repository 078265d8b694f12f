#include "Driver/VolumeUnmount.h"

#include "Driver/BlockDevice.h"
#include "Driver/DiskLock.h"
#include "Driver/DriverStatus.h"
#include "Driver/MountTable.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

namespace ntfs {
namespace {

constexpr auto lockWait = std::chrono::seconds(30);
constexpr auto daemonEnd = std::chrono::seconds(20);

int fail(int code, const std::string& why)
{
    std::fflush(stdout);
    std::fprintf(stderr, "tarn_ntfs-diskutil: %s\n", why.c_str());
    return code;
}

// The path as the mount table writes it, worked out from its text alone: looking at the folder
// could hang on the very volume that is to go.
std::string asInTable(const std::string& path)
{
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

void warnAboutOthers(const BlockDevice& device)
{
    for (pid_t holder : device.holders()) {
        std::fflush(stdout);
        std::fprintf(stderr, "tarn_ntfs-diskutil: warning: %s is still open in process %d\n", device.path().c_str(),
                     static_cast<int>(holder));
    }
}

bool servedByFuse(const MountTable::Entry& entry) { return entry.type.rfind("fuse", 0) == 0; }

}  // namespace

int VolumeUnmount::unmount(const std::string& argument)
{
    const MountTable table = MountTable::read();
    const std::string asTarget = asInTable(argument);
    const MountTable::Entry* atTarget = table.at(asTarget);
    std::vector<std::string> targets;
    bool fuse = false;
    std::string why;
    std::optional<BlockDevice> device;
    if (atTarget) {
        targets.push_back(atTarget->target);
        fuse = servedByFuse(*atTarget);
        if (atTarget->sourceDevice)
            device = BlockDevice::named(atTarget->source, why);
    } else {
        device = BlockDevice::named(argument, why);
        if (!device)
            return fail(status::notMounted, "nothing is mounted at " + argument);
        auto mounts = table.of(device->number());
        if (mounts.empty())
            return fail(status::notMounted, device->path() + " is not mounted");
        for (auto entry = mounts.rbegin(); entry != mounts.rend(); ++entry) {
            targets.push_back(entry->target);
            fuse = fuse || servedByFuse(*entry);
        }
    }

    std::optional<DiskLock> lock;
    if (device) {
        lock = DiskLock::take(*device, lockWait, why);
        if (!lock)
            return fail(status::busy, why);
    }
    for (const auto& target : targets) {
        if (umount2(target.c_str(), UMOUNT_NOFOLLOW) != 0) {
            if (errno == EBUSY)
                return fail(status::busy, target + " is busy (files are open on it); it stays mounted");
            return fail(status::notMounted, target + " was not unmounted: " + std::strerror(errno));
        }
        std::printf("unmounted %s\n", atTarget ? argument.c_str() : device->path().c_str());
    }
    if (device && fuse && !device->waitForRelease(daemonEnd))
        std::fprintf(stderr, "tarn_ntfs-diskutil: warning: the driver of %s had not let go of it %d s after the unmount\n",
                     device->path().c_str(), static_cast<int>(daemonEnd.count()));
    else if (device)
        warnAboutOthers(*device);
    // The folder that "mount" made under /media goes with the volume.
    std::string made = atTarget ? asTarget : "/media/" + std::filesystem::path(device->path()).filename().string();
    if (made.rfind("/media/", 0) == 0)
        rmdir(made.c_str());
    return status::done;
}

}  // namespace ntfs
