#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ntfs {

// One loaded kernel module, with the facts that the kernel publishes about it.
struct LoadedModule {
    std::string name;
    std::uint64_t size = 0;                  // bytes of kernel memory it takes
    std::optional<std::int32_t> useCount;    // absent when the kernel cannot unload modules
    std::vector<std::string> usedBy;         // modules that depend on this one
    std::string state;                       // "Live", "Loading" or "Unloading"
    std::uint64_t address = 0;               // 0 where the kernel hides addresses
    std::optional<std::string> version;      // the module's own version, when it declares one

    bool operator==(const LoadedModule&) const = default;
};

// Lists the kernel modules that are loaded now (the kext manager's loaded-kext information).
class LoadedModules {
public:
    virtual ~LoadedModules() = default;
    virtual std::vector<LoadedModule> list() = 0;
};

}  // namespace ntfs
