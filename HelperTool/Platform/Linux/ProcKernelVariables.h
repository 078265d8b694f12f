#pragma once

#include "HelperTool/Platform/KernelVariables.h"

#include <filesystem>

namespace ntfs {

// KernelVariables through procfs: "a.b.c" is the file <root>/proc/sys/a/b/c, and the value is
// written as decimal text, which is how Linux takes an integer sysctl of any width. The file is
// never created: a variable that the kernel does not offer fails with ENOENT. The NTFS driver's
// own variables ("vfs.tarnntfs.…") are not the kernel's on Linux: they go to the driver's store
// (DriverVariableStore) below the same root.
class ProcKernelVariables final : public KernelVariables {
public:
    explicit ProcKernelVariables(std::filesystem::path root = "/");

    int write(std::string_view name, std::int64_t value) override;

    // The file of a dotted name, or an empty path for a name that is not a plain dotted name.
    std::filesystem::path fileOf(std::string_view name) const;

private:
    std::filesystem::path root_;
};

}  // namespace ntfs
