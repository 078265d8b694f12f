#pragma once

#include <string>
#include <vector>

namespace ntfs {

// The roles of the one driver program; each takes the arguments that follow the program name
// and returns the exit status (DriverStatus.h).
using Arguments = std::vector<std::string>;

int runMountHelper(const Arguments& arguments);  // mount.tarn_ntfs
int runRepairTool(const Arguments& arguments);   // tarn_ntfs_fix
int runFormatter(const Arguments& arguments);    // tarn_ntfs-formatter
int runDiskUtility(const Arguments& arguments);  // tarn_ntfs-diskutil
int runProbe(const Arguments& arguments);        // tarn_ntfs-probe

// For the roles: a line on standard error after what standard output holds so far.
int failWith(const char* role, int status, const std::string& why);
bool asksForHelp(const Arguments& arguments);
int showHelp(const char* usage);

}  // namespace ntfs
