#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ntfs {

// A block device named the way disk identifiers name it ("/dev/sdb1" or the bare "sdb1"), and
// what on the running system keeps it from being erased.
class BlockDevice {
public:
    enum class Use { Free, Mounted, HoldsMounted };
    struct Usage {
        Use use = Use::Free;
        std::string why;  // for people: what is mounted where
    };
    // Nothing, with `why` set, when the name is not a block device.
    static std::optional<BlockDevice> named(const std::string& disk, std::string& why);

    const std::string& path() const { return path_; }
    dev_t number() const { return number_; }
    // The disk that this partition is on; the device itself when it is a whole disk.
    BlockDevice wholeDisk() const;
    // Mounted itself (or swap, or opened exclusively by someone), or holding a mounted volume:
    // a partition, a device-mapper or RAID volume built on it, the running system's root.
    Usage usage() const;
    // The processes that hold the device open. Only descriptors opened on /dev are looked at, so
    // a process with files open on a hung file system costs nothing and stalls nothing.
    std::vector<pid_t> holders() const;
    // Waits until these processes have ended, or the timeout has passed; false then.
    static bool waitForEnd(const std::vector<pid_t>& pids, int timeoutMs);
    // Waits until no one holds the device exclusively (a FUSE daemon lets go of its device only
    // as its volume goes), or the timeout has passed; false then.
    bool waitForRelease(std::chrono::milliseconds timeout) const;

private:
    BlockDevice(std::string path, dev_t number) : path_(std::move(path)), number_(number) {}

    std::string path_;
    dev_t number_;
};

}  // namespace ntfs
