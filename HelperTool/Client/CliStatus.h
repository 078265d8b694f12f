#pragma once

namespace ntfs {

// ntfs-helperctl's own exit statuses; any other comes from the driver tool that ran (its own
// documented ones, or the status of the command it ran).
enum CliStatus : int {
    Done = 0,
    HelperFailed = 2,   // the helper could not be reached, or failed the call
    HelperMissing = 3,  // the helper is not installed (nobody serves its bus name)
    DriverMissing = 4,  // the driver's tool for the verb is not installed
    Cancelled = 5,      // the user did not confirm
    NoVolume = 6,       // no such block device, no NTFS or exFAT volume on it, or not mounted
    UsageError = 64,
    Refused = 77,       // the helper said no: consent refused, dismissed, or not asked for
    Interrupted = 130,  // Ctrl-C while waiting for the helper, which finishes the command on its own
};

}  // namespace ntfs
