#pragma once

#include <string>

namespace ntfs {

// Loads kernel modules: Linux's kext manager. Each call blocks until the kernel has taken or
// refused the module and answers 0 on success, else the positive errno of the failure, unchanged
// (EEXIST for a module that is already loaded; the caller decides what that means).
class KernelModules {
public:
    virtual ~KernelModules() = default;
    // A module file, or a bundle folder holding exactly one module file.
    virtual int loadAtPath(const std::string& path) = 0;
    // A module name or alias, looked up in the installed modules' index, with its dependencies.
    virtual int loadByName(const std::string& name) = 0;
};

}  // namespace ntfs
