// mount.tarn_ntfs: called by the helper as "-o OPTIONS DISK MOUNTPOINT" and by mount(8) as
// "DISK MOUNTPOINT [-sfnv] -o OPTIONS".
#include "Driver/DriverRoles.h"
#include "Driver/DriverStatus.h"
#include "Driver/VolumeMount.h"

#include <cstdio>

namespace ntfs {
namespace {

const char* const usageText =
    "usage: mount.tarn_ntfs -o OPTIONS DISK MOUNTPOINT   or   mount.tarn_ntfs DISK MOUNTPOINT -o OPTIONS\n"
    "Mounts the NTFS volume DISK (/dev/sdb1 or sdb1) at MOUNTPOINT with ntfs3, else ntfs-3g.\n"
    "Clean volumes mount read-write (unless OPTIONS say ro); dirty and hibernated ones read-only; one whose\n"
    "state cannot be read is not mounted. OPTIONS is a comma-separated list: nosuid and nodev are always\n"
    "added, suid and dev are refused (64), remove_hiberfile is dropped.\n"
    "The last line of a successful mount is:  tarn_ntfs-mount: access=rw|ro state=clean|dirty|hibernated|unchecked\n"
    "(unchecked: the hibernate check is off, so hiberfil.sys was not looked at and ntfs-3g decided the access).\n"
    "Every mount, failed ones too, is kept as the driver's latest mount log (ntfs-helperctl mount-log).\n";

bool isFlag(const std::string& argument)
{
    return argument.size() == 2 && argument[0] == '-' && std::string("sfnvri").find(argument[1]) != std::string::npos;
}

}  // namespace

int runMountHelper(const Arguments& arguments)
{
    for (const auto& argument : arguments)
        if (argument == "--help" || argument == "-h")
            return showHelp(usageText);
    VolumeMount::Request request;
    int positional = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-o" || argument == "-t" || argument == "-N") {
            if (i + 1 == arguments.size())
                return failWith("mount.tarn_ntfs", status::mountUsage, usageText);
            if (argument == "-o")
                request.options = arguments[i + 1];
            ++i;
        } else if (argument.rfind("-o", 0) == 0) {
            request.options = argument.substr(2);
        } else if (isFlag(argument)) {
        } else if (++positional == 1) {
            request.disk = argument;
        } else {
            request.mountPoint = argument;
        }
    }
    if (positional != 2 || request.disk.empty() || request.mountPoint.empty())
        return failWith("mount.tarn_ntfs", status::mountUsage, usageText);
    auto outcome = VolumeMount::mount(request);
    VolumeMount::print(outcome);
    VolumeMount::record(outcome);
    return outcome.status;
}

}  // namespace ntfs
