#include "HelperTool/Platform/Linux/UnixKernelControlSocket.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace ntfs {
namespace {

struct OptionRequest {
    std::int32_t option;
    std::uint32_t size;
};

}  // namespace

UnixKernelControlSocket::UnixKernelControlSocket(UniqueFd fd, std::filesystem::path controlFolder)
    : fd_(std::move(fd)), controlFolder_(std::move(controlFolder))
{
}

int UnixKernelControlSocket::lookUp(std::string_view controlName)
{
    if (controlName.empty() || controlName == "." || controlName == ".."
        || controlName.find('/') != std::string_view::npos)
        return EINVAL;
    auto folder = controlFolder_ / std::string(controlName);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    control_ = std::move(folder);
    return 0;
}

int UnixKernelControlSocket::connect(std::uint32_t unit)
{
    if (control_.empty())
        return EDESTADDRREQ;
    std::string path = (control_ / std::to_string(unit)).string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return ENAMETOOLONG;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int rc;
    do
        rc = ::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

KernelControlSocket::OptionRead UnixKernelControlSocket::getOption(std::int32_t option, std::span<char> buffer)
{
    OptionRequest request{option, static_cast<std::uint32_t>(buffer.size())};
    ssize_t sent;
    do
        sent = ::send(fd_.get(), &request, sizeof request, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0)
        return {errno, 0};

    // The answer's status goes to its own field and the value straight into the caller's buffer;
    // a longer value is cut at the buffer's end, as a socket option would be.
    std::int32_t status = 0;
    iovec parts[2] = {{&status, sizeof status}, {buffer.data(), buffer.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    ssize_t received;
    do
        received = ::recvmsg(fd_.get(), &message, MSG_CMSG_CLOEXEC);
    while (received < 0 && errno == EINTR);
    if (received < 0)
        return {errno, 0};
    if (received == 0)
        return {ECONNRESET, 0};
    if (static_cast<std::size_t>(received) < sizeof status)
        return {EPROTO, 0};
    if (status != 0)
        return {status > 0 ? status : EPROTO, 0};
    return {0, static_cast<std::size_t>(received) - sizeof status};
}

}  // namespace ntfs
