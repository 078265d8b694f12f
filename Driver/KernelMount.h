#pragma once

#include <string>

namespace ntfs {

// A mount by the kernel's own file-system driver, made in-process through libmount (no mount(8),
// no /sbin/mount.TYPE helper).
class KernelMount {
public:
    // `type` empty: the type is what libblkid finds on the device.
    static bool mount(const std::string& device, const std::string& target, const std::string& type,
                      const std::string& options, std::string& why);
};

}  // namespace ntfs
