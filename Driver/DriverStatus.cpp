#include "Driver/DriverStatus.h"

#include <array>
#include <utility>

namespace ntfs {
namespace {

constexpr std::array<std::pair<int, const char*>, 12> rows{{
    {status::done, "done"},
    {1, "mount.tarn_ntfs: usage (as mount(8) expects); tarn_ntfs_fix: the check failed, the dirty flag stays set; "
        "tarn_ntfs-kctl: no answer went out"},
    {status::notMounted, "not mounted (not NTFS, damaged, unreadable, or refused), or not unmounted"},
    {status::usage, "usage, a file system other than ExFAT, or a label or mount option refused (nothing was written)"},
    {status::unreadable, "not NTFS (or no file system it knows), or its state cannot be read"},
    {status::notBlockDevice, "not a block device"},
    {status::unavailable, "a tool is missing (packages ntfs-3g, exfatprogs, fdisk, util-linux)"},
    {status::cannotCreate, "the mount point cannot be made"},
    {status::busy, "DISK is mounted, swap, held open exclusively or busy unmounting, or another job holds its disk "
                   "(nothing was done)"},
    {status::holdsMounted, "DISK holds a mounted volume, a volume built on it or the running system's root"},
    {status::hibernated, "tarn_ntfs_fix: Windows is hibernated on the volume (nothing was changed)"},
    {-1, "the underlying tool's own (128+N: it was killed by signal N, at its deadline with 9)"},
}};

}  // namespace

std::string DriverStatus::table()
{
    std::string text = "Exit status:\n";
    for (const auto& [code, meaning] : rows) {
        std::string number = code >= 0 ? std::to_string(code) : "other";
        number.resize(6, ' ');
        text += "  " + number + meaning + "\n";
    }
    return text;
}

}  // namespace ntfs
