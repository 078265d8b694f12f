#pragma once

#include "HelperTool/Operations/KernelExtensionInfo.h"
#include "HelperTool/Platform/KernelModules.h"
#include "HelperTool/Platform/LoadedModules.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace ntfs {

// Loading kernel extensions and listing the loaded ones, with kernel modules as the extensions.
//
// A bundle identifier names the module of its last dot-separated part, "com.tarn.fs.tarn_ntfs"
// the module "tarn_ntfs"; an identifier without a dot is a module name itself. A loaded module's
// own identifier is its name. Module names match with '-' and '_' alike, as in the kernel.
class KernelExtensionOperations {
public:
    KernelExtensionOperations(KernelModules& modules, LoadedModules& loaded);

    // (KextLoadResult, kext manager return code); an empty path or identifier is refused.
    std::pair<std::uint64_t, std::int32_t> loadAtPath(const std::string& path);
    std::pair<std::uint64_t, std::int32_t> loadWithBundleIdentifier(const std::string& identifier);

    // Every loaded module for an empty identifier, else the one it names; nothing when none is.
    // Keys: CFBundleIdentifier, CFBundleVersion (when the module declares one), OSBundleLoadSize,
    // OSBundleLoadAddress, OSBundleRetainCount (when the kernel counts), OSBundleDependencies
    // (names of the loaded modules it uses), OSBundleStarted.
    std::optional<KernelExtensionInfos> loadedInfos(const std::string& identifier);

    static std::string moduleNameOf(const std::string& identifier);

private:
    static std::pair<std::uint64_t, std::int32_t> replyFor(int linuxError);

    KernelModules& modules_;
    LoadedModules& loaded_;
};

}  // namespace ntfs
