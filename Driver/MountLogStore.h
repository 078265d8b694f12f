#pragma once

#include "Driver/MountLog.h"

#include <filesystem>
#include <optional>
#include <string>

namespace ntfs {

// The latest mount's log, kept in the driver's store (<root>/run/tarn_ntfs/mount-log, root
// only): each mount replaces it in one step, and it lasts until the next boot, whoever restarts.
class MountLogStore {
public:
    explicit MountLogStore(std::filesystem::path root = "/");

    // 0 or the errno of the failure; makes the store when it is missing.
    int record(const MountLog& log) const;
    // The latest log's text; empty when no mount was recorded since boot; nothing, with `error`
    // set, when the store cannot be read.
    std::optional<std::string> latest(int& error) const;

private:
    std::filesystem::path root_;
};

}  // namespace ntfs
