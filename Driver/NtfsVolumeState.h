#pragma once

#include <string>

namespace ntfs {

// What Windows left an NTFS volume in, read without mounting it: its "dirty" flag (set by an
// unclean unmount, cleared by a successful check) and its hibernation file, whose first bytes
// say whether a Windows session (hibernation or Fast Startup) is saved in it.
class NtfsVolumeState {
public:
    enum class State { Clean, Dirty, Hibernated, NotNtfs, Unreadable };

    // `detail` says what was found, for people.
    static State of(const std::string& device, std::string& detail);
    static const char* nameOf(State state);

private:
    static bool isNtfs(const std::string& device);
    static bool hibernated(const std::string& device);
    static int dirtyFlag(const std::string& device, std::string& detail);  // 1, 0, or -1 unreadable
};

}  // namespace ntfs
