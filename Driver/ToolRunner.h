#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace ntfs {

// Runs one of the tools that do the real work (ntfs-3g, mkntfs, ntfsfix, ...) without a shell,
// in a process group of its own, and kills that group when the tool outlives its deadline.
class ToolRunner {
public:
    struct Result {
        int status = 0;      // the tool's exit status; 128+N when a signal N ended it
        std::string output;  // standard output and standard error, as the tool wrote them
        bool missing = false;
        bool tooSlow = false;
    };

    static Result run(const std::string& tool, const std::vector<std::string>& arguments, std::chrono::seconds deadline,
                      const std::optional<std::string>& input = std::nullopt);
    // The tool's path on PATH (or the system's sbin and bin folders); the name when none has it.
    static std::string locate(const std::string& tool);
};

}  // namespace ntfs
