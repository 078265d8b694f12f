// tarn_ntfs_fix DISK: checks an NTFS volume with ntfsfix and repairs what it can; only when the
// check succeeded is the dirty flag cleared (ntfsfix -d). A hibernated volume, or one whose
// hibernation cannot be ruled out, is left untouched: ntfsfix would empty the journal that
// Windows resumes from.
#include "Driver/BlockDevice.h"
#include "Driver/DriverRoles.h"
#include "Driver/DriverStatus.h"
#include "Driver/FreeDiskClaim.h"
#include "Driver/NtfsVolumeState.h"
#include "Driver/ToolRunner.h"

#include <cstdio>

namespace ntfs {
namespace {

const char* const me = "tarn_ntfs_fix";
const char* const usageText =
    "usage: tarn_ntfs_fix DISK   (DISK: /dev/sdb1 or sdb1)\n"
    "Checks and repairs an NTFS volume (ntfsfix from ntfs-3g) and then clears its dirty flag.\n";

}  // namespace

int runRepairTool(const Arguments& arguments)
{
    if (asksForHelp(arguments))
        return showHelp(usageText);
    if (arguments.size() != 1)
        return failWith(me, status::usage, usageText);
    auto claim = FreeDiskClaim::take(me, arguments[0]);
    if (!claim.held())
        return claim.refusal();
    const BlockDevice& device = claim.device();

    std::string detail;
    auto state = NtfsVolumeState::of(device.path(), {true, 20, status::unreadable}, detail);
    const char* path = device.path().c_str();
    switch (state) {
    case NtfsVolumeState::State::NotNtfs:
    case NtfsVolumeState::State::Unreadable:
        return failWith(me, status::unreadable, device.path() + ": " + detail + "; nothing was changed");
    case NtfsVolumeState::State::Hibernated:
        std::printf("%s: %s: Windows is hibernated on this volume (or Fast Startup is on); nothing was changed.\n"
                    "%s: shut Windows down fully (Shift+Shut down, or turn Fast Startup off), then check again.\n",
                    me, path, me);
        return status::hibernated;
    default: break;
    }
    auto result = ToolRunner::run("ntfsfix", {"-d", device.path()}, std::chrono::minutes(10));
    std::fputs(result.output.c_str(), stdout);
    if (result.missing)
        return status::unavailable;
    if (result.status == 0) {
        if (state == NtfsVolumeState::State::Dirty)
            std::printf("%s: %s: check succeeded; the dirty flag is cleared.\n", me, path);
        return status::done;
    }
    return failWith(me, status::checkFailed, device.path() + ": the check failed; the dirty flag stays set.");
}

}  // namespace ntfs
