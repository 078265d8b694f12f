#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ntfs {

// The kernel's mount table as this process sees it (/proc/self/mountinfo, read as the kernel writes it). It
// never looks into a mounted file system: a hung FUSE daemon cannot stall it.
class MountTable {
public:
    struct Entry {
        int id = 0;
        std::string source;
        std::string target;
        std::string type;
        std::string options;  // the mount's own (VFS) options: ro or rw, nosuid, nodev...
        dev_t device = 0;     // the number the mounted file system carries
        std::optional<dev_t> sourceDevice;  // when the source is a device node under /dev
    };

    static MountTable read();

    const std::vector<Entry>& entries() const { return entries_; }
    // The top-most mount at this path.
    const Entry* at(const std::string& target) const;
    // Every mount of this block device, in the order they were made.
    std::vector<Entry> of(dev_t device) const;
    static bool readOnly(const Entry& entry);

    // The block device number of a path under /dev, looked up without waking any file system.
    static std::optional<dev_t> deviceNumberOf(const std::string& path);

private:
    std::vector<Entry> entries_;
};

}  // namespace ntfs
