#include "Driver/MountTable.h"

#include <fcntl.h>
#include <libmount/libmount.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ntfs {

std::optional<dev_t> MountTable::deviceNumberOf(const std::string& path)
{
    // Device nodes live under /dev; anything else may be a path into another mount.
    if (path.rfind("/dev/", 0) != 0)
        return std::nullopt;
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), AT_STATX_DONT_SYNC, STATX_TYPE, &info) != 0 || !S_ISBLK(info.stx_mode))
        return std::nullopt;
    return makedev(info.stx_rdev_major, info.stx_rdev_minor);
}

MountTable MountTable::read()
{
    MountTable table;
    std::unique_ptr<libmnt_table, decltype(&mnt_unref_table)> parsed(mnt_new_table_from_file("/proc/self/mountinfo"),
                                                                      &mnt_unref_table);
    if (!parsed)
        return table;
    std::unique_ptr<libmnt_iter, decltype(&mnt_free_iter)> iter(mnt_new_iter(MNT_ITER_FORWARD), &mnt_free_iter);
    libmnt_fs* fs = nullptr;
    auto text = [](const char* value) { return std::string(value ? value : ""); };
    while (mnt_table_next_fs(parsed.get(), iter.get(), &fs) == 0) {
        Entry entry{mnt_fs_get_id(fs), text(mnt_fs_get_source(fs)), text(mnt_fs_get_target(fs)),
                    text(mnt_fs_get_fstype(fs)), text(mnt_fs_get_vfs_options(fs)), mnt_fs_get_devno(fs), std::nullopt};
        entry.sourceDevice = deviceNumberOf(entry.source);
        table.entries_.push_back(std::move(entry));
    }
    return table;
}

const MountTable::Entry* MountTable::at(const std::string& target) const
{
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry)
        if (entry->target == target)
            return &*entry;
    return nullptr;
}

std::vector<MountTable::Entry> MountTable::of(dev_t device) const
{
    std::vector<Entry> found;
    for (const auto& entry : entries_)
        if (entry.device == device || entry.sourceDevice == device)
            found.push_back(entry);
    return found;
}

bool MountTable::readOnly(const Entry& entry) { return ("," + entry.options + ",").find(",ro,") != std::string::npos; }

}  // namespace ntfs
