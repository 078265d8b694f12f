#include "HelperTool/Platform/Linux/PosixCommandRunner.h"

#include "Common/Subprocess.h"

#include <algorithm>

namespace ntfs {

CommandRun PosixCommandRunner::run(const std::string& program, const std::vector<std::string>& arguments)
{
    CommandRun result;
    std::optional<Subprocess> child;
    try {
        child.emplace(Subprocess::spawn({program, arguments, std::nullopt}));
    } catch (const std::system_error& error) {
        result.startError = error.code();
        return result;
    }
    result.status = child->waitDrainingOutput([&](std::string_view chunk) {
        size_t room = outputCap_ - result.output.size();
        size_t kept = std::min(room, chunk.size());
        result.output.append(chunk.substr(0, kept));
        result.droppedBytes += chunk.size() - kept;
    });
    return result;
}

}  // namespace ntfs
