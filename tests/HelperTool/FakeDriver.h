#pragma once

#include "Common/UniqueFd.h"
#include "HelperTool/Platform/Linux/UnixKernelControl.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace ntfs::test {

// The driver's control channel, played by the test: listens on the unit socket of a control under
// <root>/run/kernel-control and answers one connection's mount-log request (option 2, 1024 bytes)
// with the configured answer; any other request is hung up on.
class FakeDriver {
public:
    struct Answer {
        std::int32_t status = 0;   // the errno field of the answer
        std::string value;         // bytes of the option's value
        bool hangUp = false;       // close the connection instead of answering
        bool silent = false;       // keep the connection open without answering
    };

    FakeDriver(const std::filesystem::path& root, Answer answer, std::uint32_t unit = 0) : answer_(std::move(answer))
    {
        auto folder = UnixKernelControl::controlFolder(root) / "com.tarn.ntfs-support.kext";
        std::filesystem::create_directories(folder);
        std::string path = (folder / std::to_string(unit)).string();
        listener_.reset(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_.get(), 8) != 0)
            throw std::runtime_error("fake driver cannot listen on " + path);
        wake_.reset(::eventfd(0, EFD_CLOEXEC));
        thread_ = std::jthread([this] { serve(); });
    }

    ~FakeDriver()
    {
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_.get(), &one, sizeof one);
    }

    // Waits until the connection has been answered and closed on the driver's side.
    void waitUntilServed() { thread_.join(); }

private:
    void serve()
    {
        pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
            return;
        UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        struct { std::int32_t option; std::uint32_t size; } request{};
        if (::recv(connection.get(), &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request) || request.option != 2
            || request.size != 1024 || answer_.hangUp)
            return;
        if (answer_.silent)
            ::poll(&fds[1], 1, -1);
        std::string message(sizeof answer_.status, '\0');
        std::memcpy(message.data(), &answer_.status, sizeof answer_.status);
        message += answer_.value;
        [[maybe_unused]] auto n = ::send(connection.get(), message.data(), message.size(), MSG_NOSIGNAL);
    }

    Answer answer_;
    UniqueFd listener_;
    UniqueFd wake_;
    std::jthread thread_;
};

// How many descriptors a process ("self": this one) has open now.
inline std::size_t openDescriptorCount(const std::string& process = "self")
{
    auto entries = std::filesystem::directory_iterator("/proc/" + process + "/fd");
    return static_cast<std::size_t>(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)));
}

}  // namespace ntfs::test
