#pragma once

#include <string>

namespace ntfs {

// A transient scope unit of systemd's made for this process, so that what it starts from then on
// (a FUSE daemon) lives outside the unit of whoever started us: stopping, restarting or killing
// that unit, or its memory and task limits, then never take a mounted volume's daemon along.
class TransientScope {
public:
    // Moves this process into a new scope named after `purpose` and waits until it is there.
    // False, with `why` set and nothing changed, where systemd does not run or refuses.
    static bool enter(const std::string& purpose, const std::string& description, std::string& why);
};

}  // namespace ntfs
