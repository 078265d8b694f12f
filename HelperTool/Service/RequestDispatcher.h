#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace ntfs {

// Requests waiting to start (those running not counted): an admitted caller may keep a pipeline
// of requests in flight, but no one may make the helper hold requests without end.
struct RequestQueueLimits {
    std::size_t perCaller = 64;
    std::size_t inTotal = 512;
};

// Runs requests on a bounded set of worker threads: the requests of one caller one after another
// in arrival order, those of different callers at the same time. Workers are started as needed,
// up to the bound, and live until the dispatcher goes.
class RequestDispatcher {
public:
    // Workers spend their time waiting for commands, not computing, so the bound is not the number
    // of cores: it caps threads and memory when many callers are busy at once, and leaves room for
    // every caller a disk helper can reasonably have. Callers beyond it wait their turn.
    static constexpr std::size_t defaultWorkerLimit = 32;
    using QueueLimits = RequestQueueLimits;

    explicit RequestDispatcher(std::size_t workerLimit = defaultWorkerLimit, QueueLimits limits = {});
    ~RequestDispatcher();
    RequestDispatcher(const RequestDispatcher&) = delete;
    RequestDispatcher& operator=(const RequestDispatcher&) = delete;

    // Throws, with the request dropped, when no worker exists and none can be started, or
    // after stop().
    void submit(const std::string& caller, std::function<void()> request);
    std::size_t workerCount() const;
    // True when the caller has no request running or waiting.
    bool isIdle(const std::string& caller) const;
    // True when no request is running or waiting.
    bool isIdle() const;
    // Whether one more request of this caller stays within the queue limits.
    bool hasRoomFor(const std::string& caller) const;
    // Drops every request not yet started (destroying it, which answers it) and takes no more;
    // running ones go on. `whenIdle` is called, on a worker, as the last running one ends.
    void stop(std::function<void()> whenIdle);
    std::size_t runningCount() const;

private:
    void work(std::stop_token stop);

    const std::size_t workerLimit_;
    const QueueLimits limits_;
    mutable std::mutex mutex_;
    std::condition_variable_any wakeUp_;
    // A caller has an entry while it has a request running or waiting; the running one has
    // already been taken out of its queue.
    std::unordered_map<std::string, std::deque<std::function<void()>>> queues_;
    std::deque<std::string> ready_;  // callers whose next request may start now
    std::size_t idle_ = 0;
    std::size_t queued_ = 0;
    std::size_t running_ = 0;
    bool stopped_ = false;
    std::function<void()> whenIdle_;
    std::vector<std::jthread> workers_;
};

}  // namespace ntfs
