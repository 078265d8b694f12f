#include "ScriptedElevator.h"

#include "Authorization.h"

#include <filesystem>

namespace ntfs::test {

ElevatedLaunch ScriptedElevator::execute(const Authorization* authorization, const SpawnRequest& request)
{
    Launch launch{request.program, request.arguments,
                  request.workingDirectory ? request.workingDirectory->string() : std::string(), authorization, {}};
    if (authorization) {
        for (const auto& right : authorization->rights())
            launch.rights.push_back(right.name);
    }
    launches.push_back(launch);
    auto answer = answers_.find(std::filesystem::path(request.program).filename().string());
    if (answer != answers_.end())
        return ElevatedLaunch::failure(answer->second);
    return direct_.execute(authorization, request);
}

}  // namespace ntfs::test
