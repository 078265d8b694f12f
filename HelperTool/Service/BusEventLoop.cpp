#include "HelperTool/Service/BusEventLoop.h"

#include <sdbus-c++/Error.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <system_error>

namespace ntfs {
namespace {

constexpr int incomingBatch = 32;

}  // namespace

BusEventLoop::BusEventLoop(sdbus::IConnection& connection, ReplyQueue& replies)
    : connection_(connection), replies_(replies)
{
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGTERM);
    sigaddset(&stopSet, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);
    stopSignals_.reset(signalfd(-1, &stopSet, SFD_CLOEXEC | SFD_NONBLOCK));
    stopRequest_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stopSignals_ || !stopRequest_)
        throw std::system_error(errno, std::generic_category(), "signalfd");
}

void BusEventLoop::requestStop()
{
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(stopRequest_.get(), &one, sizeof one);
}

bool BusEventLoop::stopRequested()
{
    signalfd_siginfo info;
    return read(stopSignals_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info);
}

bool BusEventLoop::serveOnce(std::span<pollfd> extra, std::optional<std::chrono::steady_clock::time_point> deadline)
{
    // Replies go out between bounded batches of incoming messages: under a flood the incoming
    // stream never runs dry, and the replies of admitted callers must not wait for it to.
    bool busy = false;
    try {
        for (int i = 0; i < incomingBatch && connection_.processPendingRequest(); ++i)
            busy = i + 1 == incomingBatch;
    } catch (const sdbus::Error&) {
        return false;  // the bus connection is gone
    }
    if (replies_.runPending() > 0 || busy)
        return true;  // sending may have queued more work on the connection
    if (auto again = whenQuiet_ ? whenQuiet_() : std::nullopt)
        deadline = deadline ? std::min(*deadline, *again) : *again;

    auto bus = connection_.getEventLoopPollData();
    int timeout = bus.getPollTimeout();
    if (deadline) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now()).count();
        auto bounded = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
        timeout = timeout < 0 ? bounded : std::min(timeout, bounded);
    }
    std::array<pollfd, 4> fds{{{bus.fd, bus.events, 0}, {replies_.wakeFd(), POLLIN, 0}}};
    std::copy(extra.begin(), extra.end(), fds.begin() + 2);
    if (poll(fds.data(), 2 + extra.size(), timeout) < 0 && errno != EINTR)
        return false;
    for (std::size_t i = 0; i < extra.size(); ++i)
        extra[i].revents = fds[2 + i].revents;
    return true;
}

BusEventLoop::Outcome BusEventLoop::run()
{
    for (;;) {
        std::array<pollfd, 2> stops{{{stopSignals_.get(), POLLIN, 0}, {stopRequest_.get(), POLLIN, 0}}};
        if (!serveOnce(stops, std::nullopt))
            return Outcome::Failed;
        if (((stops[0].revents & POLLIN) && stopRequested()) || (stops[1].revents & POLLIN))
            return Outcome::Stopped;
    }
}

bool BusEventLoop::runUntil(const std::function<bool()>& finished, std::chrono::steady_clock::time_point deadline)
{
    while (!finished()) {
        if (std::chrono::steady_clock::now() >= deadline || !serveOnce({}, deadline))
            return false;
    }
    // Hands the last replies to the connection, which flushes them when it closes.
    try {
        while (connection_.processPendingRequest() || replies_.runPending() > 0) {
        }
    } catch (const sdbus::Error&) {
    }
    return true;
}

}  // namespace ntfs
