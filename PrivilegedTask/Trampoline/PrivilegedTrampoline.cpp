// Started by pkexec as root with the tool's path and arguments. Runs only the app's own tools:
// the bless tool beside it, or /bin/sh with one of the scripts in Resources beside it, whose
// arguments must all be files or folders of the app (the driver files it installs). Says that
// the start got this far (the caller can then tell a dismissed prompt from a tool's own exit
// code) and becomes the tool, which so keeps the pid of the caller's child.
#include "Common/RootOnlyPath.h"
#include "PrivilegedTask/Trampoline/TrampolineProtocol.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* blessToolName = "ntfs-bless-helper";
constexpr const char* scriptsFolderName = "Resources";

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::optional<std::string> realPath(const char* path)
{
    auto resolved = ntfs::RootOnlyPath::resolve(path);
    return resolved.empty() ? std::nullopt : std::optional(resolved);
}

struct Command {
    std::string program;              // a real path, checked
    std::vector<std::string> argv;  // argv[0] as asked, the script by its real path
};

// What to run for argv[1...], or nothing when it is not one of the app's own tools.
std::optional<Command> appCommand(int argc, char** argv)
{
    auto self = realPath("/proc/self/exe");
    auto tool = realPath(argv[1]);
    if (!self || !tool || !ntfs::RootOnlyPath::holds(*tool))
        return std::nullopt;
    std::string appFolder = ntfs::RootOnlyPath::folderOf(*self);
    Command command{*tool, {argv[1]}};
    if (*tool != appFolder + "/" + blessToolName) {
        if (argc < 3 || realPath("/bin/sh") != tool)
            return std::nullopt;
        auto script = realPath(argv[2]);
        if (!script || ntfs::RootOnlyPath::folderOf(*script) != appFolder + "/" + scriptsFolderName ||
            !ntfs::RootOnlyPath::holds(*script))
            return std::nullopt;
        command.argv.push_back(*script);
        // What a script installs as root comes from the app, never from elsewhere.
        for (int i = 3; i < argc; ++i) {
            auto input = realPath(argv[i]);
            if (!input || input->rfind(appFolder + "/", 0) != 0 || !ntfs::RootOnlyPath::holds(*input, true)) {
                std::fprintf(stderr, "%s: %s is not a file of the app that only root can change\n", argv[0], argv[i]);
                return std::nullopt;
            }
            command.argv.push_back(*input);
        }
        return command;
    }
    for (int i = 2; i < argc; ++i)
        command.argv.emplace_back(argv[i]);
    return command;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace ntfs::TrampolineProtocol;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TOOL [ARGUMENT...]\n", argv[0]);
        return cannotStartTool;
    }
    auto command = appCommand(argc, argv);
    if (!command || access(command->program.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "%s: %s is not one of the app's own tools, or cannot be run\n", argv[0], argv[1]);
        return cannotStartTool;
    }
    std::vector<char*> arguments;
    for (auto& argument : command->argv)
        arguments.push_back(argument.data());
    arguments.push_back(nullptr);
    if (!writeAll(STDOUT_FILENO, startMarker.data(), startMarker.size()))
        return cannotStartTool;
    execv(command->program.c_str(), arguments.data());
    std::fprintf(stderr, "%s: %s: %s\n", argv[0], argv[1], std::strerror(errno));
    return 127;
}
