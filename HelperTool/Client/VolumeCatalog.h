#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ntfs {

// A volume as the CLI shows it; empty strings are facts it could not read.
struct Volume {
    std::string device;  // "/dev/sdb1"
    std::uint64_t size = 0;
    std::string type, label, uuid;
    std::string mountPoint;
    bool readOnly = false;
    std::string windowsState;  // NTFS only: clean, dirty or hibernated
};

// The block devices of the running system and what is on them, for any user: the device itself
// where it can be read, else what udev recorded, else libblkid's cache (written whenever root
// ran blkid). Where each is mounted comes from the kernel's mount table.
class VolumeCatalog {
public:
    // NTFS and exFAT volumes.
    static std::vector<Volume> list();
    // One device, whatever is on it ("sdb1" or "/dev/sdb1"); nothing when it is no block device.
    static std::optional<Volume> find(const std::string& device);
    // The device path a name stands for.
    static std::string pathOf(const std::string& device);

private:
    static Volume describe(const std::string& name);
    static bool probeDevice(Volume& volume);
    static bool readUdevRecord(Volume& volume);
    static void readBlkidCache(Volume& volume);
    static void addMount(Volume& volume);
    static void addWindowsState(Volume& volume);
};

}  // namespace ntfs
