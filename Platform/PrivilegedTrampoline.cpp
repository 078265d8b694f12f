// Started by pkexec as root with the tool's path and arguments. Says that the start got this far
// (the caller can then tell a dismissed prompt from a tool's own exit code) and becomes the tool,
// which so keeps the pid of the caller's child.
#include "TrampolineProtocol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

bool isExecutableFile(const char* path)
{
    struct stat info {};
    return stat(path, &info) == 0 && S_ISREG(info.st_mode) && access(path, X_OK) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace ntfs::TrampolineProtocol;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TOOL [ARGUMENT...]\n", argv[0]);
        return cannotStartTool;
    }
    if (!isExecutableFile(argv[1])) {
        std::fprintf(stderr, "%s: cannot run %s\n", argv[0], argv[1]);
        return cannotStartTool;
    }
    if (!writeAll(STDOUT_FILENO, startMarker.data(), startMarker.size()))
        return cannotStartTool;
    execv(argv[1], argv + 1);
    std::fprintf(stderr, "%s: %s: %s\n", argv[0], argv[1], std::strerror(errno));
    return 127;
}
