#pragma once

#include "Common/Logger.h"
#include "HelperTool/CommandResult.h"
#include "HelperTool/Platform/CommandRunner.h"

#include <cstdint>
#include <optional>
#include <sys/types.h>
#include <string>
#include <vector>

namespace ntfs {

// The executables the service names itself (the clients name all others).
struct SystemTools {
    std::string rm = "/bin/rm";
    std::string mkdir = "/bin/mkdir";
};

// The helper's command-running operations: each builds one argument vector, runs it as root
// through the runner, waits for its end and hands back its output and status. Holds no state of
// its own, so any number of requests may use one object at once.
class DiskCommands {
public:
    DiskCommands(CommandRunner& runner, Logger& logger, SystemTools tools = {});

    CommandResult checkDisk(const std::string& executablePath, const std::string& diskIdentifier);
    CommandResult formatNTFSDisk(const std::string& executablePath, const std::string& diskIdentifier,
                                 const std::string& newName);
    // Refuses a file-system index outside the name table (RequestError) before anything runs.
    CommandResult formatDisk(const std::string& executablePath, const std::string& diskIdentifier,
                             std::int32_t fileSystem, const std::string& newName, bool hasLeaf);
    std::int32_t uninstallKextAndFileSystem(const std::string& kernelExtensionPath,
                                            const std::string& fileSystemBundlePath);
    bool empiricalTestForFullDiskAccess(const std::string& commandPath, const std::vector<std::string>& parameters);
    CommandResult mountNTFSDisk(const std::string& executablePath, const std::string& diskIdentifier,
                                const std::string& mountOptions, const std::string& mountPoint);
    CommandResult mountDisk(const std::string& executablePath, const std::string& diskIdentifier);
    CommandResult unmountDisk(const std::string& executablePath, const std::string& diskIdentifier);
    CommandResult renameUnmountedVolume(const std::string& executablePath, const std::string& diskIdentifier,
                                        const std::string& newName);

    // A directory as the file system knows it, whatever its path comes to name later.
    struct MadeDirectory {
        dev_t device = 0;
        ino_t inode = 0;
    };

    std::int32_t createDirectoryAtPath(const std::string& path);
    // Removes a mount point after a failed mount, but only the very directory this request made
    // (same device and inode; nothing when the request made none) and only while it is empty.
    // Its last component is never followed as a symlink.
    std::int32_t removeVolumeDirectoryAtPath(const std::string& path, std::optional<MadeDirectory> made);

    // The file-system name for an index of the format operation's table; empty when outside it.
    static std::string fileSystemName(std::int32_t index);

private:
    struct Completion {
        CommandResult result;
        bool exited = false;  // ended through exit, not by a signal nor a failed start
    };
    // The one run-a-command procedure: runs, logs the error (or "(null)") and the labelled text.
    Completion execute(const std::string& program, const std::vector<std::string>& arguments, const char* label);
    CommandResult run(const std::string& program, const std::vector<std::string>& arguments, const char* label)
    {
        return execute(program, arguments, label).result;
    }

    CommandRunner& runner_;
    Logger& logger_;
    const SystemTools tools_;
};

}  // namespace ntfs
