#include "HelperTool/Service/RequestDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <vector>

using ntfs::RequestDispatcher;
using namespace std::chrono_literals;

namespace {

// Job completions; waitFor waits until enough have come, or gives up.
class Completions {
public:
    void add(int value) { std::lock_guard lock(mutex_); values_.push_back(value); changed_.notify_all(); }
    std::vector<int> waitFor(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10s, [&] { return values_.size() >= count; });
        return values_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> values_;
};

}  // namespace

TEST(RequestDispatcher, RunsOneCallersRequestsOneAtATimeInArrivalOrder)
{
    Completions done;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    {
        RequestDispatcher dispatcher(8);
        for (int i = 0; i < 200; ++i)
            dispatcher.submit(":1.7", [&, i] {
                if (running.fetch_add(1) != 0)
                    overlapped = true;
                done.add(i);
                running.fetch_sub(1);
            });
        std::vector<int> arrival(200);
        std::iota(arrival.begin(), arrival.end(), 0);
        EXPECT_EQ(done.waitFor(200), arrival);
    }
    EXPECT_FALSE(overlapped);
}

TEST(RequestDispatcher, RunsDifferentCallersAtTheSameTime)
{
    constexpr int callers = 16;
    Completions arrived, done;
    RequestDispatcher dispatcher;
    for (int i = 0; i < callers; ++i)
        dispatcher.submit(":1." + std::to_string(i), [&, i] {
            arrived.add(i);
            done.add(arrived.waitFor(callers).size() == callers ? i : -1);
        });
    for (int result : done.waitFor(callers))
        EXPECT_GE(result, 0) << "a caller waited for another instead of running beside it";
}

TEST(RequestDispatcher, NeverRunsMoreWorkersThanItsLimit)
{
    Completions arrived, released, done;
    RequestDispatcher dispatcher(2);
    for (int i = 0; i < 5; ++i)
        dispatcher.submit(":1." + std::to_string(i), [&, i] {
            arrived.add(i);
            released.waitFor(1);
            done.add(i);
        });
    EXPECT_EQ(arrived.waitFor(2).size(), 2u);
    EXPECT_EQ(dispatcher.workerCount(), 2u);
    released.add(0);
    EXPECT_EQ(done.waitFor(5).size(), 5u);
}
