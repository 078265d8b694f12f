#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ntfs {

// The mount options a client asks for, taken as a comma-separated list of names and values and
// never given to a shell. Options that would grant privileges are refused; nosuid and nodev are
// always added, as for any removable medium.
class MountOptions {
public:
    // Nothing, with `why` set, when an option is refused.
    static std::optional<MountOptions> parse(const std::string& text, std::string& why);

    bool readOnlyAsked() const { return readOnly_; }
    // "ro" or "rw", the options kept, then nosuid and nodev.
    std::string forMount(bool readOnly) const;

private:
    std::vector<std::string> kept_;
    bool readOnly_ = false;
};

}  // namespace ntfs
