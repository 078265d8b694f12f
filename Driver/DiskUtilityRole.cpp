// tarn_ntfs-diskutil: the disk utility that the helper's mount, unmount, rename and format
// messages name. Never erases or relabels anything in use.
#include "Driver/BlockDevice.h"
#include "Driver/DriverRoles.h"
#include "Driver/DriverStatus.h"
#include "Driver/FreeDiskClaim.h"
#include "Driver/KernelMount.h"
#include "Driver/ToolRunner.h"
#include "Driver/VolumeLabel.h"
#include "Driver/VolumeMount.h"
#include "Driver/VolumeUnmount.h"

#include <blkid/blkid.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace ntfs {
namespace {

const char* const me = "tarn_ntfs-diskutil";
const char* const usageText =
    "usage: tarn_ntfs-diskutil mount DISK                   mount at a folder made under /media; prints it\n"
    "       tarn_ntfs-diskutil unmount DISK|MOUNTPOINT      unmount (a busy volume is reported, not forced)\n"
    "       tarn_ntfs-diskutil rename DISK NAME             set the volume label (ntfslabel, exfatlabel, fatlabel, e2label)\n"
    "       tarn_ntfs-diskutil eraseVolume ExFAT NAME DISK  exFAT on DISK\n"
    "       tarn_ntfs-diskutil eraseDisk ExFAT NAME DISK    a new GPT with one partition, exFAT on it\n"
    "DISK is a device path (/dev/sdb1) or its bare name (sdb1). Mounts get nosuid and nodev.\n";

constexpr auto toolDeadline = std::chrono::minutes(10);

// `only`: the types worth looking for (null-terminated); none: every type libblkid knows.
std::string typeOf(const std::string& device, const char* const* only = nullptr)
{
    std::unique_ptr<blkid_struct_probe, decltype(&blkid_free_probe)> probe(
        blkid_new_probe_from_filename(device.c_str()), &blkid_free_probe);
    const char* type = nullptr;
    if (!probe
        || (only && blkid_probe_filter_superblocks_type(probe.get(), BLKID_FLTR_ONLYIN, const_cast<char**>(only)) != 0)
        || blkid_do_safeprobe(probe.get()) != 0 || blkid_probe_lookup_value(probe.get(), "TYPE", &type, nullptr) != 0)
        return "";
    return type;
}

int printed(const ToolRunner::Result& result)
{
    std::fputs(result.output.c_str(), stdout);
    return result.status;
}

int mountKernelVolume(const std::string& disk, const std::string& type, const std::string& mountPoint)
{
    auto claim = FreeDiskClaim::take(me, disk);
    if (!claim.held())
        return claim.refusal();
    std::string why;
    if (!KernelMount::mount(claim.device().path(), mountPoint, type, "nosuid,nodev", why))
        return failWith(me, status::notMounted, claim.device().path() + " was not mounted: " + why);
    return status::done;
}

int mount(const std::string& disk)
{
    std::string why;
    auto device = BlockDevice::named(disk, why);
    if (!device)
        return failWith(me, status::notBlockDevice, why);
    std::string type = typeOf(device->path());
    if (type.empty())
        return failWith(me, status::unreadable, device->path() + " holds no file system it knows");
    std::string mountPoint = "/media/" + std::filesystem::path(device->path()).filename().string();
    bool made = mkdir(mountPoint.c_str(), 0755) == 0;
    if (!made && errno != EEXIST)
        return failWith(me, status::cannotCreate, "cannot make " + mountPoint);
    int result = status::done;
    if (type == "ntfs") {
        auto outcome = VolumeMount::mount({device->path(), mountPoint, ""});
        VolumeMount::print(outcome);
        VolumeMount::record(outcome);
        result = outcome.status;
    } else {
        result = mountKernelVolume(device->path(), type, mountPoint);
    }
    if (result != status::done) {
        if (made)
            rmdir(mountPoint.c_str());
        return result;
    }
    std::printf("%s\n", mountPoint.c_str());
    return status::done;
}

int rename(const std::string& disk, const std::string& name)
{
    // Claimed first: the probe and the tool then share what the kernel has read of the device.
    auto claim = FreeDiskClaim::take(me, disk);
    if (!claim.held())
        return claim.refusal();
    const std::string& device = claim.device().path();
    struct Labeller {
        const char* type;
        const char* tool;
        VolumeLabel::FileSystem fileSystem;
    };
    static constexpr Labeller labellers[] = {{"ntfs", "ntfslabel", VolumeLabel::FileSystem::Ntfs},
                                            {"exfat", "exfatlabel", VolumeLabel::FileSystem::Exfat},
                                            {"vfat", "fatlabel", VolumeLabel::FileSystem::Fat},
                                            {"ext2", "e2label", VolumeLabel::FileSystem::Ext},
                                            {"ext3", "e2label", VolumeLabel::FileSystem::Ext},
                                            {"ext4", "e2label", VolumeLabel::FileSystem::Ext}};
    static const char* const labelled[] = {"ntfs", "exfat", "vfat", "ext2", "ext3", "ext4", nullptr};
    std::string type = typeOf(device, labelled);
    auto labeller = std::find_if(std::begin(labellers), std::end(labellers), [&](const Labeller& l) { return type == l.type; });
    if (labeller == std::end(labellers))
        return failWith(me, status::unreadable, device + " holds no file system whose label it can set");
    if (auto refusal = VolumeLabel::refusal(name, labeller->fileSystem))
        return failWith(me, status::usage, *refusal + "; nothing was written");
    return printed(ToolRunner::run(labeller->tool, {device, name}, toolDeadline));
}

// The first partition's node: "loop0" gives "loop0p1", "sdb" gives "sdb1".
std::string firstPartitionOf(const std::string& disk)
{
    return disk + (std::isdigit(static_cast<unsigned char>(disk.back())) ? "p1" : "1");
}

int erase(const Arguments& arguments)
{
    std::string fileSystem = arguments[1];
    std::transform(fileSystem.begin(), fileSystem.end(), fileSystem.begin(), [](unsigned char c) { return std::tolower(c); });
    if (fileSystem != "exfat")
        return failWith(me, status::usage, "only ExFAT can be made, not '" + arguments[1] + "'");
    const std::string& name = arguments[2];
    if (auto refusal = VolumeLabel::refusal(name, VolumeLabel::FileSystem::Exfat))
        return failWith(me, status::usage, *refusal + "; nothing was written");
    auto claim = FreeDiskClaim::take(me, arguments[3]);
    if (!claim.held())
        return claim.refusal();
    std::string volume = claim.device().path();
    if (arguments[0] == "eraseDisk") {
        // Microsoft basic data, the type Windows and macOS give exFAT volumes.
        auto table = ToolRunner::run("sfdisk", {"-q", "--wipe", "always", "--", volume}, toolDeadline,
                                     "label: gpt\ntype=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n");
        if (table.status != 0) {
            printed(table);
            return failWith(me, table.missing ? status::unavailable : status::notMounted,
                            "cannot write a partition table on " + volume);
        }
        std::string whole = volume;
        volume = firstPartitionOf(whole);
        std::string why;
        // Where re-reading the table did not add the partition (some loop devices), add it by hand.
        if (!BlockDevice::named(volume, why))
            ToolRunner::run("partx", {"-a", "--", whole}, toolDeadline);
        if (!BlockDevice::named(volume, why))
            return failWith(me, status::notBlockDevice, "the new partition " + volume + " did not appear");
    }
    return printed(ToolRunner::run("mkfs.exfat", {"-L", name, volume}, toolDeadline));
}

}  // namespace

int runDiskUtility(const Arguments& arguments)
{
    if (asksForHelp(arguments))
        return showHelp(usageText);
    const std::string verb = arguments.empty() ? "" : arguments[0];
    if (verb == "mount" && arguments.size() == 2)
        return mount(arguments[1]);
    if (verb == "unmount" && arguments.size() == 2)
        return VolumeUnmount::unmount(arguments[1]);
    if (verb == "rename" && arguments.size() == 3)
        return rename(arguments[1], arguments[2]);
    if ((verb == "eraseVolume" || verb == "eraseDisk") && arguments.size() == 4)
        return erase(arguments);
    return failWith(me, status::usage, usageText);
}

}  // namespace ntfs
