#pragma once

#include "Common/UniqueFd.h"

#include <deque>
#include <functional>
#include <mutex>

namespace ntfs {

// Work handed from the workers to the bus thread (above all: sending replies), with an eventfd
// that wakes the bus thread's poll. Everything posted runs, and is destroyed, on the thread that
// calls runPending, so the bus connection and its messages are only ever touched there.
class ReplyQueue {
public:
    ReplyQueue();
    ~ReplyQueue();
    ReplyQueue(const ReplyQueue&) = delete;
    ReplyQueue& operator=(const ReplyQueue&) = delete;

    void post(std::function<void()> work);
    int wakeFd() const { return wake_.get(); }
    // Runs all work posted so far; returns how many items ran.
    std::size_t runPending();

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> pending_;
    UniqueFd wake_;
};

}  // namespace ntfs
