#include "HelperTool/Platform/Linux/UnixKernelControl.h"

#include "HelperTool/Platform/Linux/UnixKernelControlSocket.h"

#include <cerrno>
#include <sys/socket.h>
#include <sys/time.h>

namespace ntfs {

UnixKernelControl::UnixKernelControl(std::filesystem::path root, std::chrono::milliseconds timeout)
    : root_(std::move(root)), timeout_(timeout)
{
}

std::filesystem::path UnixKernelControl::controlFolder(const std::filesystem::path& root)
{
    return root / "run/kernel-control";
}

std::unique_ptr<KernelControlSocket> UnixKernelControl::open(int& error)
{
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (!fd) {
        error = errno;
        return nullptr;
    }
    // A driver that accepts and then never answers must not hold the request forever.
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout_).count();
    timeval tv{static_cast<time_t>(micros / 1000000), static_cast<suseconds_t>(micros % 1000000)};
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0
        || ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::make_unique<UnixKernelControlSocket>(std::move(fd), controlFolder(root_));
}

}  // namespace ntfs
