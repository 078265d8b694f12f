#include "Driver/KernelControlResponder.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>

namespace ntfs {
namespace {

struct Request {
    std::int32_t option;
    std::uint32_t size;
};

std::string message(std::int32_t status, std::string_view value = {})
{
    std::string bytes(sizeof status, '\0');
    std::memcpy(bytes.data(), &status, sizeof status);
    return bytes.append(value);
}

}  // namespace

KernelControlResponder::KernelControlResponder(const MountLogStore& logs) : logs_(logs) {}

std::string_view KernelControlResponder::fitted(std::string_view text, std::size_t size)
{
    if (size == 0)
        return {};
    std::size_t end = std::min(text.size(), size - 1);
    // Back off over continuation bytes to the start of the character that would be cut.
    if (end < text.size())
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
    return text.substr(0, end);
}

std::string KernelControlResponder::answer(std::int32_t option, std::uint32_t size) const
{
    if (option != mountLogOption)
        return message(ENOPROTOOPT);
    int error = 0;
    auto log = logs_.latest(error);
    if (!log)
        return message(error);
    if (size == 0)
        return message(0);
    std::string value(fitted(*log, size));
    value += '\0';
    return message(0, value);
}

int KernelControlResponder::serve(int connection) const
{
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(requestTimeout).count();
    timeval tv{static_cast<time_t>(micros / 1000000), static_cast<suseconds_t>(micros % 1000000)};
    if (::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0
        || ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0)
        return errno;
    // One byte more than a request, so that a longer message shows as such instead of being cut.
    char bytes[sizeof(Request) + 1];
    ssize_t received;
    do
        received = ::recv(connection, bytes, sizeof bytes, 0);
    while (received < 0 && errno == EINTR);
    if (received < 0)
        return errno;
    if (received == 0)
        return ECONNRESET;
    std::string reply;
    if (received != static_cast<ssize_t>(sizeof(Request))) {
        reply = message(EINVAL);
    } else {
        Request request{};
        std::memcpy(&request, bytes, sizeof request);
        reply = answer(request.option, request.size);
    }
    ssize_t sent;
    do
        sent = ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent < 0 ? errno : 0;
}

}  // namespace ntfs
