#include "PrivilegedTask/Linux/PkexecElevator.h"

#include "PrivilegedTask/AuthorizationStatus.h"
#include "PrivilegedTask/Trampoline/TrampolineProtocol.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace ntfs {
namespace {

// The task's directory is applied only when it can be entered; otherwise the tool starts in our
// own working directory, as it always has.
std::optional<std::filesystem::path> enterable(const std::optional<std::filesystem::path>& directory)
{
    if (!directory)
        return std::nullopt;
    UniqueFd fd(open(directory->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd ? directory : std::nullopt;
}

std::optional<std::string> textAfterMarker(std::string& seen)
{
    auto at = seen.find(TrampolineProtocol::startMarker);
    if (at != std::string::npos)
        return seen.substr(at + TrampolineProtocol::startMarker.size());
    // What pkexec says before the marker is not ours to keep; a partial marker may end it.
    if (seen.size() >= TrampolineProtocol::startMarker.size())
        seen.erase(0, seen.size() - TrampolineProtocol::startMarker.size() + 1);
    return std::nullopt;
}

// Reads until the trampoline's marker and returns what followed it in the same read, or nothing
// when the child ended without writing it. A tool that starts and ends at once still counts as
// started.
std::optional<std::string> awaitStartMarker(Subprocess& child)
{
    std::string seen;
    std::optional<std::string> rest;
    child.readOutput([&](std::string_view chunk) {
        seen.append(chunk);
        rest = textAfterMarker(seen);
        return !rest;
    });
    return rest;
}

std::int32_t statusOfEarlyEnd(const ExitStatus& status)
{
    if (status.kind == ExitStatus::Kind::Exited && status.value == 126)
        return AuthorizationStatus::canceled;
    if (status.kind == ExitStatus::Kind::Exited && status.value == 127)
        return AuthorizationStatus::denied;
    return AuthorizationStatus::toolExecuteFailure;
}

ElevatedLaunch started(Subprocess child, std::string initialOutput)
{
    child.release();
    return {AuthorizationStatus::success, std::move(child), std::move(initialOutput)};
}

}  // namespace

std::shared_ptr<Elevator> systemElevator() { return std::make_shared<PkexecElevator>(); }

PkexecElevator::PkexecElevator(PkexecElevatorOptions options) : options_(std::move(options))
{
    if (options_.trampoline.empty())
        options_.trampoline = trampolineBesideExecutable();
    root_ = options_.isRoot ? options_.isRoot() : geteuid() == 0;
    available_ = root_ || (access(options_.pkexec.c_str(), X_OK) == 0 && access(options_.trampoline.c_str(), X_OK) == 0);
}

std::filesystem::path PkexecElevator::trampolineBesideExecutable()
{
    std::error_code error;
    auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return executable.parent_path() / TrampolineProtocol::executableName;
}

ElevatedLaunch PkexecElevator::execute(const SpawnRequest& request)
{
    if (request.program.empty())
        return ElevatedLaunch::failure(AuthorizationStatus::toolExecuteFailure);
    if (root_)
        return runDirectly(request);
    if (!available_)
        return ElevatedLaunch::failure(AuthorizationStatus::functionUnavailable);
    return runThroughPkexec(request);
}

ElevatedLaunch PkexecElevator::runDirectly(SpawnRequest request) const
{
    request.workingDirectory = enterable(request.workingDirectory);
    try {
        return started(Subprocess::spawn(request), {});
    } catch (const std::system_error&) {
        return ElevatedLaunch::failure(AuthorizationStatus::toolExecuteFailure);
    }
}

ElevatedLaunch PkexecElevator::runThroughPkexec(const SpawnRequest& request) const
{
    SpawnRequest elevated{options_.pkexec.string(),
                          {"--disable-internal-agent", "--keep-cwd", options_.trampoline.string(), request.program},
                          enterable(request.workingDirectory)};
    elevated.arguments.insert(elevated.arguments.end(), request.arguments.begin(), request.arguments.end());
    try {
        auto child = Subprocess::spawn(elevated);
        auto rest = awaitStartMarker(child);
        if (!rest)
            return ElevatedLaunch::failure(statusOfEarlyEnd(child.waitForExit()));
        return started(std::move(child), std::move(*rest));
    } catch (const std::system_error&) {
        return ElevatedLaunch::failure(AuthorizationStatus::toolExecuteFailure);
    }
}

}  // namespace ntfs
