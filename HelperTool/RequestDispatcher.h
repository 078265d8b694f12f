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

// Runs requests on a bounded set of worker threads: the requests of one caller one after another
// in arrival order, those of different callers at the same time. Workers are started as needed,
// up to the bound, and live until the dispatcher goes.
class RequestDispatcher {
public:
    // Workers spend their time waiting for commands, not computing, so the bound is not the number
    // of cores: it caps threads and memory when many callers are busy at once, and leaves room for
    // every caller a disk helper can reasonably have. Callers beyond it wait their turn.
    static constexpr std::size_t defaultWorkerLimit = 32;

    explicit RequestDispatcher(std::size_t workerLimit = defaultWorkerLimit);
    ~RequestDispatcher();
    RequestDispatcher(const RequestDispatcher&) = delete;
    RequestDispatcher& operator=(const RequestDispatcher&) = delete;

    // Throws, with the request dropped, only when no worker exists and none can be started.
    void submit(const std::string& caller, std::function<void()> request);
    std::size_t workerCount() const;
    // True when the caller has no request running or waiting.
    bool isIdle(const std::string& caller) const;

private:
    void work(std::stop_token stop);

    const std::size_t workerLimit_;
    mutable std::mutex mutex_;
    std::condition_variable_any wakeUp_;
    // A caller has an entry while it has a request running or waiting; the running one has
    // already been taken out of its queue.
    std::unordered_map<std::string, std::deque<std::function<void()>>> queues_;
    std::deque<std::string> ready_;  // callers whose next request may start now
    std::size_t idle_ = 0;
    std::vector<std::jthread> workers_;
};

}  // namespace ntfs
