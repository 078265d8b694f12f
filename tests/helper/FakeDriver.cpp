#include "FakeDriver.h"

#include "UnixKernelControl.h"

#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <cstring>

namespace ntfs::test {

FakeDriver::FakeDriver(const std::filesystem::path& root, Answer answer, std::uint32_t unit, const std::string& control)
    : answer_(std::move(answer))
{
    auto folder = UnixKernelControl::controlFolder(root) / control;
    std::filesystem::create_directories(folder);
    std::string path = (folder / std::to_string(unit)).string();
    listener_.reset(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        throw std::runtime_error("socket path too long: " + path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener_.get(), 8) != 0)
        throw std::runtime_error("fake driver cannot listen on " + path);
    wake_.reset(::eventfd(0, EFD_CLOEXEC));
    thread_ = std::jthread([this](std::stop_token stop) { serve(stop); });
}

FakeDriver::~FakeDriver()
{
    thread_.request_stop();
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wake_.get(), &one, sizeof one);
}

std::vector<FakeDriver::Request> FakeDriver::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void FakeDriver::waitUntilServed(std::size_t count)
{
    std::unique_lock lock(mutex_);
    servedChanged_.wait(lock, [&] { return served_ >= count; });
}

void FakeDriver::serve(std::stop_token stop)
{
    while (!stop.stop_requested()) {
        pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
            continue;
        UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection)
            continue;
        answer(connection.get());
        connection.reset();
        std::lock_guard lock(mutex_);
        ++served_;
        servedChanged_.notify_all();
    }
}

void FakeDriver::answer(int connection)
{
    Request request;
    if (::recv(connection, &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request))
        return;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    if (answer_.hangUp)
        return;
    std::string message(sizeof answer_.status, '\0');
    std::memcpy(message.data(), &answer_.status, sizeof answer_.status);
    message += answer_.value;
    [[maybe_unused]] auto n = ::send(connection, message.data(), message.size(), MSG_NOSIGNAL);
}

std::size_t openDescriptorCount()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

}  // namespace ntfs::test
