#pragma once

#include "Common/UniqueFd.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace ntfs {

// The state that the driver's kernel part would keep, kept by the driver on Linux as files under
// /run, so that it is gone after a reboot like the kernel's own:
//
//     <root>/run/tarn_ntfs/              root only (0700)
//         mount-log                      the latest mount's log (the driver's control, option 2)
//         config/hibernate_check         the variable "vfs.tarnntfs.config.hibernate_check"
//
// Every file is replaced in one step, so a reader sees the old content or the new, never a part.
class DriverStore {
public:
    static std::filesystem::path folder(const std::filesystem::path& root);

    // The store's folder (`sub` empty) or a folder in it, opened without following links. With
    // `create` a missing folder is made, root only. A folder that is not this user's own or that
    // others may write is refused with EPERM: whoever could write it could forge the driver's state.
    static UniqueFd open(const std::filesystem::path& root, std::string_view sub, bool create, int& error);

    // 0 or the errno of the failed step; a failed replace leaves the old file and no other behind.
    static int replace(int folderFd, const std::string& name, std::string_view bytes);
    // The file's bytes, or nothing with `error` set (ENOENT: there is no such file).
    static std::optional<std::string> read(int folderFd, const std::string& name, int& error);
};

}  // namespace ntfs
