#include "HelperTool/Service/ReplyQueue.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <system_error>

namespace ntfs {

ReplyQueue::ReplyQueue() : wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!wake_)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

ReplyQueue::~ReplyQueue() { runPending(); }

void ReplyQueue::post(std::function<void()> work)
{
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(work));
    }
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wake_.get(), &one, sizeof one);
}

std::size_t ReplyQueue::runPending()
{
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty())
            return 0;  // a wake-up still in the eventfd finds the work on the next round
        batch.swap(pending_);
    }
    std::uint64_t count;
    [[maybe_unused]] auto drained = read(wake_.get(), &count, sizeof count);
    for (auto& work : batch)
        work();
    return batch.size();
}

}  // namespace ntfs
