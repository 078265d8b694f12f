#pragma once
// The device a writing role works on: named, locked against every other job on its disk, and in
// use by nothing. Every role that erases, repairs or labels starts here.
#include "Driver/BlockDevice.h"
#include "Driver/DiskLock.h"
#include "Driver/DriverStatus.h"

#include <optional>
#include <string>

namespace ntfs {

class FreeDiskClaim {
public:
    // Takes DISK for ROLE; when it cannot, the reason is printed and refusal() is the status.
    static FreeDiskClaim take(const char* role, const std::string& disk);

    bool held() const { return refusal_ == status::done; }
    int refusal() const { return refusal_; }
    const BlockDevice& device() const { return *device_; }

private:
    std::optional<BlockDevice> device_;
    std::optional<DiskLock> lock_;
    int refusal_ = status::done;
};

}  // namespace ntfs
