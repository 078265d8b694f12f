#pragma once

#include "Common/UniqueFd.h"
#include "Driver/BlockDevice.h"

#include <chrono>
#include <optional>
#include <string>

namespace ntfs {

// An exclusive BSD lock on the whole disk that a device is on, the way systemd asks programs
// that write to block devices to take it (udev then leaves the disk alone). Held for the life
// of the object; the descriptor is close-on-exec, so no tool or FUSE daemon started meanwhile
// keeps the disk locked.
class DiskLock {
public:
    // Waits at most `wait` for whoever holds it now; nothing, with `why` set, when that passed.
    static std::optional<DiskLock> take(const BlockDevice& device, std::chrono::milliseconds wait, std::string& why);

private:
    explicit DiskLock(UniqueFd fd) : fd_(std::move(fd)) {}

    UniqueFd fd_;
};

}  // namespace ntfs
