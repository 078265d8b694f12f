#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ntfs {

// The reply shape most operations share: a text that may be absent, then a status.
struct CommandResult {
    std::optional<std::string> text;
    std::int32_t status = 0;

    bool operator==(const CommandResult&) const = default;
};

}  // namespace ntfs
