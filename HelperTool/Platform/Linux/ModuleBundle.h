#pragma once

#include <filesystem>

namespace ntfs {

// Finds the module file that a load request names. A file stands for itself; a folder (a driver
// bundle) must hold exactly one module file ("*.ko", optionally compressed) within a few levels,
// such as "tarn_ntfs.kext/Contents/Linux/tarn_ntfs.ko".
class ModuleBundle {
public:
    // The module file, or an empty path with `error` set: ENOENT and the like when the path cannot
    // be read, ENOEXEC for a folder holding no module file or more than one, and for anything that
    // is neither a regular file nor a folder (a pipe, a device).
    static std::filesystem::path moduleFile(const std::filesystem::path& path, int& error);

    static bool isModuleFileName(const std::string& fileName);

    // The module that a bundle names instead of carrying one: the target of the first
    // "alias NAME MODULE" line of its Contents/Linux/*.conf (modprobe.d syntax); empty when none.
    static std::string namedModule(const std::filesystem::path& bundle);
};

}  // namespace ntfs
