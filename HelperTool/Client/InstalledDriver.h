#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace ntfs {

// Where the setup app's Install puts the driver's tools, which the everyday verbs name in their
// messages to the helper.
class InstalledDriver {
public:
    enum class Tool { Mount, Check, Format, DiskUtility };
    struct Missing : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    // `root`: where the driver was installed (NTFS_INSTALL_ROOT of the install scripts).
    explicit InstalledDriver(std::filesystem::path root = "/") : root_(std::move(root)) {}

    // The tool's path; throws Missing, saying how to install it, when it is not there.
    std::string require(Tool tool) const;

private:
    std::filesystem::path root_;
};

}  // namespace ntfs
