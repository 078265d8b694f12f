#pragma once

#include "Common/ExitStatus.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace ntfs {

// What became of one command: either it could not be started, or it ran and ended with a status.
struct CommandRun {
    std::optional<std::error_code> startError;  // set when the command never ran
    ExitStatus status;                          // meaningful only when it ran
    std::string output;                         // stdout and stderr as written, at most the runner's cap
    std::uint64_t droppedBytes = 0;             // output beyond the cap, read and thrown away

    bool started() const { return !startError; }
    bool truncated() const { return droppedBytes > 0; }
};

// Runs one command line directly (no shell) and waits for its end, collecting its output.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    // Never throws for a command that cannot be started; that is reported in the result.
    virtual CommandRun run(const std::string& program, const std::vector<std::string>& arguments) = 0;
    // The most output one run keeps.
    virtual std::size_t outputCap() const = 0;
};

}  // namespace ntfs
