#include "Driver/ToolRunner.h"

#include "Common/Subprocess.h"
#include "Common/UniqueFd.h"
#include "Driver/DriverStatus.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

namespace ntfs {
namespace {

// What a tool reads on its standard input, in a file that exists only in memory.
UniqueFd memoryFile(const std::string& content)
{
    UniqueFd fd(memfd_create("tool-input", MFD_CLOEXEC));
    if (!fd || write(fd.get(), content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        throw std::system_error(errno, std::generic_category(), "memfd_create");
    return fd;
}

}  // namespace

std::string ToolRunner::locate(const std::string& tool)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(std::string(path ? path : "") + ":/usr/sbin:/usr/bin:/sbin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty() || dir.front() != '/')
            continue;  // a relative folder names whatever the working directory holds
        auto candidate = std::filesystem::path(dir) / tool;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    return tool;
}

ToolRunner::Result ToolRunner::run(const std::string& tool, const std::vector<std::string>& arguments,
                                   std::chrono::seconds deadline, const std::optional<std::string>& input)
{
    Result result;
    std::string program = locate(tool);
    try {
        UniqueFd inputFile = input ? memoryFile(*input) : UniqueFd();
        SpawnRequest request{program, arguments};
        request.ownProcessGroup = true;
        if (inputFile)
            request.input = "/proc/self/fd/" + std::to_string(inputFile.get());
        Subprocess child = Subprocess::spawn(request);
        child.setDeadline(std::chrono::steady_clock::now() + deadline);
        ExitStatus exit = child.waitDrainingOutput([&result](std::string_view chunk) { result.output.append(chunk); });
        result.tooSlow = child.deadlinePassed();
        result.status = exit.exitCode();
    } catch (const std::system_error& e) {
        result.missing = e.code().value() == ENOENT;
        result.status = result.missing ? status::unavailable : 126;  // 126: found but not runnable, as shells say
        result.output = tool + (result.missing ? " is missing (packages ntfs-3g, exfatprogs, fdisk, util-linux)\n"
                                               : std::string(" cannot be started: ") + e.what() + "\n");
    }
    if (result.tooSlow)
        result.output += tool + " did not end within " + std::to_string(deadline.count()) + " s and was stopped\n";
    return result;
}

}  // namespace ntfs
