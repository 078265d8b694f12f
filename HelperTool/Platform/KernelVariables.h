#pragma once

#include <cstdint>
#include <string_view>

namespace ntfs {

// Writes named kernel variables (sysctl). The name is in the dotted form,
// "vfs.tarnntfs.config.hibernate_check".
class KernelVariables {
public:
    virtual ~KernelVariables() = default;
    // 0 on success, else the positive errno of the failure.
    virtual int write(std::string_view name, std::int64_t value) = 0;
};

}  // namespace ntfs
