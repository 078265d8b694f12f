#pragma once

#include "HelperTool/Client/HelperToolClient.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ntfs {

// "ntfs-helperctl call MESSAGE ARGUMENT...": one subcommand per message of the helper, with the
// message's own arguments (tools named by path), for scripts and tests.
class MessageCommands {
public:
    // Nothing when `name` is no message or the arguments do not fit it.
    static std::optional<int> run(HelperToolClient& client, const std::string& name, const std::vector<std::string>& args);
    static bool accepts(const std::string& name, std::size_t argumentCount);
    static std::string usage();
    // The exit status for a command's status: 0, else its low byte, never 0.
    static int exitCodeFor(std::int64_t status);
};

}  // namespace ntfs
