#pragma once

#include "HelperTool/Platform/KernelModules.h"

namespace ntfs {

// KernelModules through libkmod, with the system's module directory and configuration. Each call
// works in a context of its own, so calls from several threads do not meet.
//
// Module names are compared the way the kernel compares them ('-' and '_' alike). The "install"
// commands of modprobe.d are not run: the helper loads modules, it does not run shell commands
// taken from configuration on behalf of its callers.
class KmodKernelModules final : public KernelModules {
public:
    int loadAtPath(const std::string& path) override;
    int loadByName(const std::string& name) override;
};

}  // namespace ntfs
