#include "ScriptedElevator.h"

#include <filesystem>

namespace ntfs::test {

ElevatedLaunch ScriptedElevator::execute(const SpawnRequest& request)
{
    launches.push_back({request.program, request.arguments,
                        request.workingDirectory ? request.workingDirectory->string() : std::string()});
    auto answer = answers_.find(std::filesystem::path(request.program).filename().string());
    if (answer != answers_.end())
        return ElevatedLaunch::failure(answer->second);
    return direct_.execute(request);
}

}  // namespace ntfs::test
