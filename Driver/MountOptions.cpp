#include "Driver/MountOptions.h"

#include <algorithm>
#include <array>
#include <sstream>
#include <string_view>

namespace ntfs {
namespace {

// Decided here, not by the client: access follows the volume's state, the hibernation file is
// the user's Windows session and stays, and these two are always on.
constexpr std::array<std::string_view, 5> replaced{"rw", "ro", "remove_hiberfile", "nosuid", "nodev"};
// suid and dev would let a volume from anywhere carry set-user-id programs or device nodes;
// the other two keep the driver in the foreground, so the mount would never return.
constexpr std::array<std::string_view, 4> refused{"suid", "dev", "no_detach", "debug"};

bool isOptionName(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

}  // namespace

std::optional<MountOptions> MountOptions::parse(const std::string& text, std::string& why)
{
    MountOptions options;
    std::istringstream list(text);
    std::string option;
    while (std::getline(list, option, ',')) {
        std::string_view name = std::string_view(option).substr(0, option.find('='));
        if (option.empty())
            continue;
        if (!isOptionName(name)) {
            why = "\"" + option + "\" is not a mount option";
            return std::nullopt;
        }
        if (std::find(refused.begin(), refused.end(), name) != refused.end()) {
            why = "the mount option \"" + option + "\" is not allowed";
            return std::nullopt;
        }
        if (name == "ro")
            options.readOnly_ = true;
        if (std::find(replaced.begin(), replaced.end(), name) == replaced.end())
            options.kept_.push_back(option);
    }
    return options;
}

std::string MountOptions::forMount(bool readOnly) const
{
    std::string text = readOnly ? "ro" : "rw";
    for (const auto& option : kept_)
        text += "," + option;
    return text + ",nosuid,nodev";
}

}  // namespace ntfs
