#pragma once

#include <string>

namespace ntfs {

// A mount by the kernel's own file-system driver, made in-process with mount(2) (no mount(8), no
// /sbin/mount.TYPE helper). The options that mount(8) turns into flags become flags; the rest go
// to the file system as its data.
class KernelMount {
public:
    static bool mount(const std::string& device, const std::string& target, const std::string& type,
                      const std::string& options, std::string& why);
};

}  // namespace ntfs
