#include "HelperTool/Operations/DiskCommands.h"

#include "Common/LogFormat.h"
#include "Common/UniqueFd.h"
#include "HelperTool/Operations/CommandText.h"
#include "HelperTool/Operations/RequestError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace ntfs {
namespace {

// The status a shell gives a command it cannot run: 127 when there is nothing to run at the
// path, 126 when something is there but cannot be executed.
std::int32_t statusOfStartFailure(std::error_code error)
{
    return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory ? 127 : 126;
}

bool pathExists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::optional<DiskCommands::MadeDirectory> directoryAt(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    return DiskCommands::MadeDirectory{info.st_dev, info.st_ino};
}

}  // namespace

DiskCommands::DiskCommands(CommandRunner& runner, Logger& logger, SystemTools tools)
    : runner_(runner), logger_(logger), tools_(std::move(tools))
{
}

DiskCommands::Completion DiskCommands::execute(const std::string& program, const std::vector<std::string>& arguments,
                                               const char* label)
{
    CommandRun outcome = runner_.run(program, arguments);
    std::optional<std::string> error;
    if (!outcome.started())
        error = CommandText::describeStartFailure(program, *outcome.startError);
    logger_.log(formatLog("task execution error:%@", error));

    CommandResult result;
    result.status = outcome.started() ? outcome.status.value : statusOfStartFailure(*outcome.startError);
    bool exited = outcome.started() && outcome.status.kind == ExitStatus::Kind::Exited;
    result.text = outcome.started() ? CommandText::fromOutput(std::move(outcome), runner_.outputCap()) : error;
    logger_.log(formatLog(label, CommandText::forLog(result.text)));
    return {std::move(result), exited};
}

std::string DiskCommands::fileSystemName(std::int32_t index) { return index == 0 ? "ExFAT" : ""; }

CommandResult DiskCommands::checkDisk(const std::string& executablePath, const std::string& diskIdentifier)
{
    return run(executablePath, {diskIdentifier}, "checkDiskWithExecutablePath: %@");
}

CommandResult DiskCommands::formatNTFSDisk(const std::string& executablePath, const std::string& diskIdentifier,
                                           const std::string& newName)
{
    return run(executablePath, {"-v", newName, diskIdentifier}, "formatDiskWithExecutablePath: %@");
}

CommandResult DiskCommands::formatDisk(const std::string& executablePath, const std::string& diskIdentifier,
                                       std::int32_t fileSystem, const std::string& newName, bool hasLeaf)
{
    std::string name = fileSystemName(fileSystem);
    if (name.empty())
        throw RequestError::invalidArgs(formatLog("file system index %d is not in the file-system name table", fileSystem));
    return run(executablePath, {hasLeaf ? "eraseVolume" : "eraseDisk", name, newName, diskIdentifier},
               "formatDiskWithExecutablePath: %@");
}

std::int32_t DiskCommands::uninstallKextAndFileSystem(const std::string& kernelExtensionPath,
                                                      const std::string& fileSystemBundlePath)
{
    // "--": client paths are never options ("--no-preserve-root" followed by "/").
    return run(tools_.rm, {"-rf", "--", kernelExtensionPath, fileSystemBundlePath}, "uninstallKextAndFileSystem: %@").status;
}

bool DiskCommands::empiricalTestForFullDiskAccess(const std::string& commandPath,
                                                  const std::vector<std::string>& parameters)
{
    // A command killed by signal 1 also has status 1, but only an exit with 1 means "no access".
    Completion probe = execute(commandPath, parameters, "empiricalTestForFullDiskAccess: %@");
    return probe.exited && probe.result.status == 1;
}

CommandResult DiskCommands::mountNTFSDisk(const std::string& executablePath, const std::string& diskIdentifier,
                                          const std::string& mountOptions, const std::string& mountPoint)
{
    bool existedBefore = pathExists(mountPoint);
    std::int32_t status = createDirectoryAtPath(mountPoint);
    if (status != 0)
        return {std::nullopt, status};
    auto made = existedBefore ? std::nullopt : directoryAt(mountPoint);
    CommandResult mounted = run(executablePath, {"-o", mountOptions, diskIdentifier, mountPoint},
                                "mountDiskWithExecutablePath: %@");
    if (mounted.status != 0)
        removeVolumeDirectoryAtPath(mountPoint, made);
    return mounted;
}

CommandResult DiskCommands::mountDisk(const std::string& executablePath, const std::string& diskIdentifier)
{
    return run(executablePath, {"mount", diskIdentifier}, "mountDiskWithExecutablePath: %@");
}

CommandResult DiskCommands::unmountDisk(const std::string& executablePath, const std::string& diskIdentifier)
{
    return run(executablePath, {"unmount", diskIdentifier}, "mountDiskWithExecutablePath: %@");
}

CommandResult DiskCommands::renameUnmountedVolume(const std::string& executablePath,
                                                  const std::string& diskIdentifier, const std::string& newName)
{
    return run(executablePath, {"rename", diskIdentifier, newName},
               "renameUnmountedVolumeWithDiskUtilExecutablePath: %@");
}

std::int32_t DiskCommands::createDirectoryAtPath(const std::string& path)
{
    return run(tools_.mkdir, {"-p", "--", path}, "createDirectoryAtPath: %@").status;
}

std::int32_t DiskCommands::removeVolumeDirectoryAtPath(const std::string& path, std::optional<MadeDirectory> made)
{
    if (path.find("Volumes") == std::string::npos) {
        logger_.log("removeVolumeDirectoryAtPath, illegal params!");
        return EINVAL;
    }
    if (!made) {
        logger_.log(formatLog("removeVolumeDirectoryAtPath, kept the mount point that existed before: %@", path));
        return 0;
    }
    std::filesystem::path target = std::filesystem::path(path).lexically_normal();
    if (!target.has_filename())
        target = target.parent_path();
    auto parent = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    // The entry is looked at and removed through its folder, never through the path again: what
    // the path names may have changed since the mount point was made.
    UniqueFd folder(open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info;
    if (!folder || fstatat(folder.get(), target.filename().c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_dev != made->device || info.st_ino != made->inode) {
        logger_.log(formatLog("removeVolumeDirectoryAtPath, kept what is no longer the mount point this request made: %@", path));
        return 0;
    }
    if (unlinkat(folder.get(), target.filename().c_str(), AT_REMOVEDIR) != 0) {
        int error = errno;
        logger_.log(formatLog("removeVolumeDirectoryAtPath: %@", std::strerror(error)));
        return error;
    }
    logger_.log("removeVolumeDirectoryAtPath: ");
    return 0;
}

}  // namespace ntfs
