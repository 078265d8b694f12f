#include "BusEventLoop.h"

#include <sdbus-c++/Error.h>

#include <array>
#include <cstdint>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <system_error>

namespace ntfs {

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

BusEventLoop::Outcome BusEventLoop::run()
{
    for (;;) {
        try {
            while (connection_.processPendingRequest()) {
            }
        } catch (const sdbus::Error&) {
            return Outcome::Failed;  // the bus connection is gone
        }
        if (replies_.runPending() > 0)
            continue;  // sending may have queued more work on the connection

        auto bus = connection_.getEventLoopPollData();
        std::array<pollfd, 4> fds{{{bus.fd, bus.events, 0},
                                   {replies_.wakeFd(), POLLIN, 0},
                                   {stopSignals_.get(), POLLIN, 0},
                                   {stopRequest_.get(), POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), bus.getPollTimeout()) < 0 && errno != EINTR)
            return Outcome::Failed;
        if (((fds[2].revents & POLLIN) && stopRequested()) || (fds[3].revents & POLLIN))
            return Outcome::Stopped;
    }
}

}  // namespace ntfs
