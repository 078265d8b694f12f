#include "HelperTool/Service/RequestDispatcher.h"

#include <iterator>
#include <stdexcept>

namespace ntfs {

RequestDispatcher::RequestDispatcher(std::size_t workerLimit, QueueLimits limits)
    : workerLimit_(workerLimit == 0 ? 1 : workerLimit), limits_(limits)
{
}

RequestDispatcher::~RequestDispatcher()
{
    for (auto& worker : workers_)
        worker.request_stop();
    wakeUp_.notify_all();
    workers_.clear();  // joins
}

void RequestDispatcher::submit(const std::string& caller, std::function<void()> request)
{
    std::lock_guard lock(mutex_);
    if (stopped_)
        throw std::runtime_error("the helper is stopping");
    auto [entry, isNew] = queues_.try_emplace(caller);
    entry->second.push_back(std::move(request));
    ++queued_;
    if (!isNew)
        return;  // the caller's running request hands over to this one when it ends
    ready_.push_back(caller);
    if (ready_.size() > idle_ && workers_.size() < workerLimit_) {
        try {
            workers_.emplace_back([this](std::stop_token stop) { work(stop); });
            return;
        } catch (...) {
            if (workers_.empty()) {  // no one would ever run it: take it back, and say so
                ready_.pop_back();
                queues_.erase(entry);
                --queued_;
                throw;
            }
        }
    }
    wakeUp_.notify_one();
}

std::size_t RequestDispatcher::workerCount() const
{
    std::lock_guard lock(mutex_);
    return workers_.size();
}

bool RequestDispatcher::isIdle(const std::string& caller) const
{
    std::lock_guard lock(mutex_);
    return !queues_.contains(caller);
}

bool RequestDispatcher::isIdle() const
{
    std::lock_guard lock(mutex_);
    return queues_.empty();
}

bool RequestDispatcher::hasRoomFor(const std::string& caller) const
{
    std::lock_guard lock(mutex_);
    if (queued_ >= limits_.inTotal)
        return false;
    auto entry = queues_.find(caller);
    return entry == queues_.end() || entry->second.size() < limits_.perCaller;
}

void RequestDispatcher::stop(std::function<void()> whenIdle)
{
    std::vector<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        whenIdle_ = std::move(whenIdle);
        for (auto& [caller, queue] : queues_)
            std::move(queue.begin(), queue.end(), std::back_inserter(dropped));
        // A caller with a request running keeps its (now empty) entry until that request ends.
        for (const auto& caller : ready_)
            queues_.erase(caller);
        for (auto& [caller, queue] : queues_)
            queue.clear();
        ready_.clear();
        queued_ = 0;
    }
    dropped.clear();  // outside the lock: each dropped request answers its caller as it goes
}

std::size_t RequestDispatcher::runningCount() const
{
    std::lock_guard lock(mutex_);
    return running_;
}

void RequestDispatcher::work(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        bool haveWork = wakeUp_.wait(lock, stop, [this] { return !ready_.empty(); });
        --idle_;
        if (!haveWork)
            return;
        std::string caller = std::move(ready_.front());
        ready_.pop_front();
        auto& queue = queues_.at(caller);
        auto request = std::move(queue.front());
        queue.pop_front();
        --queued_;
        ++running_;

        lock.unlock();
        try {
            request();
        } catch (...) {
            // A request reports its own failures; nothing may end the worker.
        }
        request = nullptr;  // release what the request held before taking the lock again
        lock.lock();
        if (--running_ == 0 && stopped_ && whenIdle_)
            whenIdle_();

        auto entry = queues_.find(caller);
        if (entry->second.empty())
            queues_.erase(entry);
        else
            ready_.push_back(caller);
    }
}

}  // namespace ntfs
