#pragma once

#include "HelperTool/Platform/CommandRunner.h"

#include <cstddef>

namespace ntfs {

// Runs commands as Subprocess children with the service's own environment and working directory.
// The output is drained while the command runs; what goes beyond the cap is read and dropped, so
// a command never stalls on a full pipe and memory stays bounded.
class PosixCommandRunner final : public CommandRunner {
public:
    // Half the system bus's 32 MiB message limit: a reply carrying the whole cap, its truncation
    // note and the message header stays well inside what the bus delivers.
    static constexpr std::size_t defaultOutputCap = 16 * 1024 * 1024;

    explicit PosixCommandRunner(std::size_t outputCap = defaultOutputCap) : outputCap_(outputCap) {}

    CommandRun run(const std::string& program, const std::vector<std::string>& arguments) override;
    std::size_t outputCap() const override { return outputCap_; }

private:
    const std::size_t outputCap_;
};

}  // namespace ntfs
