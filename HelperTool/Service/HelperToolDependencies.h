#pragma once

#include "Common/Logger.h"
#include "HelperTool/Operations/DiskCommands.h"
#include "HelperTool/Operations/FileOperations.h"
#include "HelperTool/Operations/KernelExtensionOperations.h"
#include "HelperTool/Operations/SystemOperations.h"
#include "HelperTool/Platform/CallerAuthority.h"

#include <chrono>
#include <filesystem>

namespace ntfs {

// What the service object is given by the program's entry: the platform seams it works through.
struct HelperToolDependencies {
    Logger& log;
    CallerAuthority& authority;
    DiskCommands& diskCommands;
    KernelExtensionOperations& kernelExtensions;
    SystemOperations& systemOperations;
    FileOperations& fileOperations;
    std::filesystem::path executable = "/proc/self/exe";  // carries the embedded bundle information
    // How long running requests may go on after SIGTERM; well below the service manager's own
    // stop timeout, so that the helper ends on its own.
    std::chrono::seconds stopGrace = std::chrono::seconds(20);
};

}  // namespace ntfs
