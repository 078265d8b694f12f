#include "Driver/FreeDiskClaim.h"

#include "Driver/DriverRoles.h"

#include <chrono>

namespace ntfs {

namespace {
constexpr auto lockWait = std::chrono::seconds(30);
}

FreeDiskClaim FreeDiskClaim::take(const char* role, const std::string& disk)
{
    FreeDiskClaim claim;
    std::string why;
    claim.device_ = BlockDevice::named(disk, why);
    if (!claim.device_) {
        claim.refusal_ = failWith(role, status::notBlockDevice, why);
        return claim;
    }
    claim.lock_ = DiskLock::take(*claim.device_, lockWait, why);
    if (!claim.lock_) {
        claim.refusal_ = failWith(role, status::busy, why);
        return claim;
    }
    auto usage = claim.device_->usage();
    if (usage.use != BlockDevice::Use::Free)
        claim.refusal_ = failWith(role, usage.use == BlockDevice::Use::Mounted ? status::busy : status::holdsMounted, usage.why);
    return claim;
}

}  // namespace ntfs
