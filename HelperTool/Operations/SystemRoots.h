#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ntfs {

// Where the helper finds the kernel's files (/proc, /sys, the driver's control channel under /run)
// and the users' session buses. The installed helper uses the system's own; tests start the
// daemon with these variables in its environment, which only whoever starts the daemon sets,
// never a client:
//   NTFS_HELPER_SYSTEM_ROOT          a folder standing in for "/" for those files
//   NTFS_HELPER_SESSION_BUS_ADDRESS  the session bus of every user, instead of /run/user/<uid>/bus
struct SystemRoots {
    std::filesystem::path root = "/";
    std::optional<std::string> sessionBusAddress;

    // Read once, at start.
    static SystemRoots fromEnvironment();
};

}  // namespace ntfs
