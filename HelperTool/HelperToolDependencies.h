#pragma once

#include "CallerAuthority.h"
#include "DiskCommands.h"
#include "FileOperations.h"
#include "KernelExtensionOperations.h"
#include "Logger.h"
#include "SystemOperations.h"

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
};

}  // namespace ntfs
