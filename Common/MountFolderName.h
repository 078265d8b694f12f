#pragma once

#include <functional>
#include <string>

namespace ntfs {

// The name of the folder a volume is mounted on for a user (/media/<user>/<name>): the same rule
// on the client, which proposes it, and in the driver, which claims it as root.
class MountFolderName {
public:
    // The volume's label, else its UUID, else the device's name ("sdb1"), made fit to stand as one
    // path component: no "/", no control characters, not "." or "..", not empty, not too long.
    static std::string forVolume(const std::string& label, const std::string& uuid, const std::string& deviceName);
    // Choice n of a name: 1 is the name itself, then "name-2", "name-3", ...
    static std::string candidate(const std::string& base, unsigned n);
    // The first choice that `taken` does not report; empty after `limit` taken ones.
    static std::string firstFree(const std::string& base, const std::function<bool(const std::string&)>& taken,
                                 unsigned limit = 1000);

private:
    static std::string sanitized(const std::string& text);
};

}  // namespace ntfs
