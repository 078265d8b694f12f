#pragma once

#include <string>

namespace ntfs {

// Unmounts by device (from every place it is mounted) or by mount point, never forced. Once a
// volume is unmounted the job is done: it waits only for the FUSE daemon of that mount to end
// (whoever comes next needs the device free) and warns about anyone else still holding it.
class VolumeUnmount {
public:
    // Prints what it did; returns the exit status.
    static int unmount(const std::string& deviceOrMountPoint);
};

}  // namespace ntfs
