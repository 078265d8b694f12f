#include "HelperTool/Client/InstalledDriver.h"

#include <unistd.h>

namespace ntfs {

std::string InstalledDriver::require(Tool tool) const
{
    const char* path = "";
    switch (tool) {
    case Tool::Mount: path = "usr/local/lib/tarn_ntfs/tarn_ntfs.fs/Contents/Resources/mount.tarn_ntfs"; break;
    case Tool::Check: path = "usr/local/sbin/tarn_ntfs_fix"; break;
    case Tool::Format: path = "usr/local/sbin/tarn_ntfs-formatter"; break;
    case Tool::DiskUtility: path = "usr/local/sbin/tarn_ntfs-diskutil"; break;
    }
    std::string full = (root_ / path).string();
    if (access(full.c_str(), X_OK) != 0)
        throw Missing("the NTFS driver is not installed (" + full +
                      " is missing): install it with the setup app (com.tarn.mac.utility.website.ntfs.HelperApp, "
                      "Install), or name a tool with --tool PATH");
    return full;
}

}  // namespace ntfs
