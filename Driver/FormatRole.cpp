// tarn_ntfs-formatter -v NAME DISK: a fast NTFS format (mkntfs -Q) labelled NAME; never of
// anything in use.
#include "Driver/BlockDevice.h"
#include "Driver/DriverRoles.h"
#include "Driver/DriverStatus.h"
#include "Driver/FreeDiskClaim.h"
#include "Driver/ToolRunner.h"
#include "Driver/VolumeLabel.h"

#include <cstdio>

namespace ntfs {
namespace {

const char* const me = "tarn_ntfs-formatter";
const char* const usageText = "usage: tarn_ntfs-formatter -v NAME DISK   (DISK: /dev/sdb1 or sdb1)\n"
                          "Formats DISK as NTFS (quick format) with the volume label NAME (at most 128 characters).\n";

}  // namespace

int runFormatter(const Arguments& arguments)
{
    if (asksForHelp(arguments))
        return showHelp(usageText);
    if (arguments.size() != 3 || arguments[0] != "-v")
        return failWith(me, status::usage, usageText);
    const std::string& name = arguments[1];
    if (auto refusal = VolumeLabel::refusal(name, VolumeLabel::FileSystem::Ntfs))
        return failWith(me, status::usage, *refusal + "; nothing was written");
    auto claim = FreeDiskClaim::take(me, arguments[2]);
    if (!claim.held())
        return claim.refusal();
    const BlockDevice& device = claim.device();
    auto result = ToolRunner::run("mkntfs", {"-Q", "-L", name, device.path()}, std::chrono::minutes(10));
    std::fputs(result.output.c_str(), stdout);
    return result.status;
}

}  // namespace ntfs
