#pragma once

#include <string>

namespace ntfs {

// What Windows left an NTFS volume in, read without mounting it: its "dirty" flag (set by an
// unclean unmount, cleared by a successful check) and its hibernation file, whose first bytes
// say whether a Windows session (hibernation or Fast Startup) is saved in it. Whatever cannot be
// read makes the state unreadable, never clean.
class NtfsVolumeState {
public:
    enum class State { Clean, Dirty, Hibernated, NotNtfs, Unreadable };
    struct Reading {
        bool hibernation = true;  // false: the hibernation file is not looked at
        int seconds = 20;         // the read ends the process after this long...
        int statusWhenTooSlow = 65;  // ...with this exit status
    };

    // `detail` says what was found, for people.
    static State of(const std::string& device, const Reading& reading, std::string& detail);
    static const char* nameOf(State state);
};

}  // namespace ntfs
