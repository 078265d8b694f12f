#include "Driver/DiskLock.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/time.h>

namespace ntfs {
namespace {

void interruptOnly(int) {}

// A blocking flock() that a timer signal interrupts when the wait is over.
class WaitLimit {
public:
    explicit WaitLimit(std::chrono::milliseconds wait)
    {
        struct sigaction interrupt {};
        interrupt.sa_handler = interruptOnly;  // without SA_RESTART: flock returns EINTR
        sigemptyset(&interrupt.sa_mask);
        sigaction(SIGALRM, &interrupt, &previous_);
        auto ms = wait.count();
        itimerval timer{{0, 0}, {static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)}};
        setitimer(ITIMER_REAL, &timer, nullptr);
    }
    ~WaitLimit()
    {
        itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &previous_, nullptr);
    }
    WaitLimit(const WaitLimit&) = delete;
    WaitLimit& operator=(const WaitLimit&) = delete;

private:
    struct sigaction previous_ {};
};

}  // namespace

std::optional<DiskLock> DiskLock::take(const BlockDevice& device, std::chrono::milliseconds wait, std::string& why)
{
    BlockDevice disk = device.wholeDisk();
    UniqueFd fd(open(disk.path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        why = "cannot open " + disk.path() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
        return DiskLock(std::move(fd));
    int result = -1;
    {
        WaitLimit limit(wait);
        result = flock(fd.get(), LOCK_EX);
    }
    if (result != 0) {
        why = disk.path() + " is busy: another disk job has held it for " + std::to_string(wait.count() / 1000) +
              " s; nothing was done";
        return std::nullopt;
    }
    return DiskLock(std::move(fd));
}

}  // namespace ntfs
