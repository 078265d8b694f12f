#pragma once

#include "Driver/NtfsVolumeState.h"

#include <string>

namespace ntfs {

// Mounts an NTFS volume: through the kernel's ntfs3 where the kernel has it (ntfs-3g when ntfs3
// refuses), else through ntfs-3g (FUSE), whose daemon is put outside the caller's unit. A volume
// that Windows left dirty or hibernated is mounted read-only, whatever was asked; one whose state
// cannot be read is not mounted at all.
class VolumeMount {
public:
    struct Request {
        std::string disk;  // "/dev/sdb1" or "sdb1"
        std::string mountPoint;
        std::string options;  // the client's comma-separated list
    };
    // Everything a mount says, gathered before anything is printed.
    struct Outcome {
        int status = 0;
        std::string device;      // the device's path, once known
        std::string mountPoint;
        NtfsVolumeState::State state = NtfsVolumeState::State::Unreadable;
        std::string reasonLine;  // the first line, for people: how it was mounted and why, or why not
        std::string toolOutput;  // what the driver underneath said
        std::string tagLine;     // the last line of a mount, for programs: "tarn_ntfs-mount: access=… state=…"
        bool hibernationChecked = true;  // false: the switch was off; a clean state is then "unchecked"
    };

    static Outcome mount(const Request& request);
    // Reason line, tool output, tag line, in that order, on standard output.
    static void print(const Outcome& outcome);
    // Keeps the outcome as the driver's latest mount log (a warning on standard error if it cannot).
    static void record(const Outcome& outcome);

private:
    static Outcome mountDevice(const Request& request, Outcome outcome);
    static bool mountWithNtfs3(const std::string& options, Outcome& outcome);
    static bool mountWithNtfs3g(const std::string& options, Outcome& outcome);
    static void describe(bool readOnly, bool readOnlyAsked, const std::string& driver, Outcome& outcome);
};

}  // namespace ntfs
