#include "HelperTool/Client/VolumeCatalog.h"

#include "Driver/NtfsVolumeState.h"

#include <blkid/blkid.h>
#include <algorithm>
#include <libmount/libmount.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ntfs {
namespace {

namespace fs = std::filesystem;

// A device that does not answer within this long ends the listing (with the driver's "unreadable").
constexpr int readDeadlineSeconds = 20;
constexpr int unreadableStatus = 65;

std::string readLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// udev writes "\x20" for a blank and the like in its *_ENC values.
std::string decodeUdev(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool hasOption(const char* options, const std::string& wanted)
{
    std::string list = std::string(",") + (options ? options : "") + ",";
    return list.find("," + wanted + ",") != std::string::npos;
}

}  // namespace

std::string VolumeCatalog::pathOf(const std::string& device)
{
    return !device.empty() && device.front() == '/' ? device : "/dev/" + device;
}

std::vector<Volume> VolumeCatalog::list()
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/block", ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<Volume> volumes;
    for (const auto& name : names) {
        if (readLine(fs::path("/sys/class/block") / name / "size") == "0")
            continue;  // an empty loop device or drive bay
        Volume volume = describe(name);
        if (volume.type == "ntfs" || volume.type == "exfat")
            volumes.push_back(std::move(volume));
    }
    return volumes;
}

std::optional<Volume> VolumeCatalog::find(const std::string& device)
{
    struct stat info {};
    if (stat(pathOf(device).c_str(), &info) != 0 || !S_ISBLK(info.st_mode))
        return std::nullopt;
    // The kernel's name for it (a /dev/disk/by-label/ link leads to "sdb1").
    std::string name = fs::path(fs::canonical(fs::path("/sys/dev/block") /
                                              (std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev)))))
                           .filename();
    return describe(name);
}

Volume VolumeCatalog::describe(const std::string& name)
{
    Volume volume;
    volume.device = "/dev/" + name;
    try {
        volume.size = std::stoull(readLine(fs::path("/sys/class/block") / name / "size")) * 512;
    } catch (const std::exception&) {
    }
    if (!probeDevice(volume) && !readUdevRecord(volume))
        readBlkidCache(volume);
    addMount(volume);
    addWindowsState(volume);
    return volume;
}

bool VolumeCatalog::probeDevice(Volume& volume)
{
    std::unique_ptr<blkid_struct_probe, decltype(&blkid_free_probe)> probe(
        blkid_new_probe_from_filename(volume.device.c_str()), &blkid_free_probe);
    if (!probe)
        return false;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
    if (blkid_do_safeprobe(probe.get()) != 0)
        return true;  // read, and nothing found on it
    for (auto [key, field] : {std::pair{"TYPE", &volume.type}, {"LABEL", &volume.label}, {"UUID", &volume.uuid}}) {
        const char* value = nullptr;
        if (blkid_probe_lookup_value(probe.get(), key, &value, nullptr) == 0 && value)
            *field = value;
    }
    return true;
}

bool VolumeCatalog::readUdevRecord(Volume& volume)
{
    struct stat info {};
    if (stat(volume.device.c_str(), &info) != 0)
        return false;
    std::ifstream record("/run/udev/data/b" + std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev)));
    if (!record)
        return false;
    std::string line;
    while (std::getline(record, line)) {
        if (line.rfind("E:ID_FS_TYPE=", 0) == 0)
            volume.type = line.substr(13);
        else if (line.rfind("E:ID_FS_LABEL_ENC=", 0) == 0)
            volume.label = decodeUdev(line.substr(18));
        else if (line.rfind("E:ID_FS_UUID=", 0) == 0)
            volume.uuid = line.substr(13);
    }
    return true;
}

void VolumeCatalog::readBlkidCache(Volume& volume)
{
    blkid_cache cache = nullptr;
    if (blkid_get_cache(&cache, nullptr) != 0)
        return;
    for (auto [key, field] : {std::pair{"TYPE", &volume.type}, {"LABEL", &volume.label}, {"UUID", &volume.uuid}}) {
        std::unique_ptr<char, decltype(&free)> value(blkid_get_tag_value(cache, key, volume.device.c_str()), &free);
        if (value)
            *field = value.get();
    }
    blkid_put_cache(cache);
}

void VolumeCatalog::addMount(Volume& volume)
{
    std::unique_ptr<libmnt_table, decltype(&mnt_unref_table)> table(mnt_new_table_from_file("/proc/self/mountinfo"),
                                                                     &mnt_unref_table);
    struct stat device {};
    if (!table || stat(volume.device.c_str(), &device) != 0)
        return;
    std::unique_ptr<libmnt_iter, decltype(&mnt_free_iter)> iter(mnt_new_iter(MNT_ITER_FORWARD), &mnt_free_iter);
    libmnt_fs* entry = nullptr;
    while (mnt_table_next_fs(table.get(), iter.get(), &entry) == 0) {
        const char* source = mnt_fs_get_srcpath(entry);
        struct stat info {};
        bool same = mnt_fs_get_devno(entry) == device.st_rdev ||
                    (source && stat(source, &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == device.st_rdev);
        if (!same || !mnt_fs_get_target(entry))
            continue;
        volume.mountPoint = mnt_fs_get_target(entry);
        volume.readOnly = hasOption(mnt_fs_get_vfs_options(entry), "ro");
        return;
    }
}

void VolumeCatalog::addWindowsState(Volume& volume)
{
    if (volume.type != "ntfs" || access(volume.device.c_str(), R_OK) != 0)
        return;
    std::string detail;
    auto state = NtfsVolumeState::of(volume.device, {true, readDeadlineSeconds, unreadableStatus}, detail);
    if (state == NtfsVolumeState::State::Clean || state == NtfsVolumeState::State::Dirty ||
        state == NtfsVolumeState::State::Hibernated)
        volume.windowsState = NtfsVolumeState::nameOf(state);
}

}  // namespace ntfs
