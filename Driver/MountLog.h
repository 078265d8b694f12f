#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace ntfs {

// What one mount by the driver leaves behind for the driver's control channel (option 2): when,
// which device at which folder, how it ended, the lines the mount printed (its reason line and
// its tag line) and what the driver underneath it said.
struct MountLog {
    std::time_t time = 0;
    std::string device;
    std::string mountPoint;
    int status = 0;
    std::vector<std::string> printed;
    std::string driverOutput;

    // The log as the control channel hands it out: UTF-8 without NUL (a name or an output in
    // another encoding shows its odd bytes as U+FFFD), most telling first, since a reader may
    // take only its start:
    //     2026-12-07T19:40:57Z mount /dev/sdb1 at /media/sdb1: status 0
    //     <the printed lines>
    //     driver: <what the driver underneath said, up to 16 KiB>
    std::string text() const;

    static constexpr std::size_t driverOutputLimit = 16 * 1024;
};

}  // namespace ntfs
