#pragma once

#include <string>

namespace ntfs {

// The exit statuses that every role of the driver shares. The one table below is what --help
// prints and what the README repeats.
namespace status {
constexpr int done = 0;
constexpr int mountUsage = 1;  // mount(8) expects 1 from a mount helper called wrongly
constexpr int checkFailed = 1;
constexpr int notMounted = 32;
constexpr int usage = 64;
constexpr int unreadable = 65;
constexpr int notBlockDevice = 66;
constexpr int unavailable = 69;
constexpr int cannotCreate = 73;
constexpr int busy = 75;
constexpr int holdsMounted = 76;
constexpr int hibernated = 78;
}  // namespace status

class DriverStatus {
public:
    // "Exit status:" and one line per status, as --help ends.
    static std::string table();
};

}  // namespace ntfs
