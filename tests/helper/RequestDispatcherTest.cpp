#include "RequestDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

using ntfs::RequestDispatcher;
using namespace std::chrono_literals;

namespace {

// Lets jobs wait until a number of them are running at the same time, without hanging forever.
class Rendezvous {
public:
    explicit Rendezvous(int expected) : expected_(expected) {}
    bool arriveAndWait()
    {
        std::unique_lock lock(mutex_);
        ++arrived_;
        changed_.notify_all();
        return changed_.wait_for(lock, 10s, [this] { return arrived_ >= expected_; });
    }
    void waitForArrivals(int count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10s, [&] { return arrived_ >= count; });
    }
    int arrived()
    {
        std::lock_guard lock(mutex_);
        return arrived_;
    }
    void open()
    {
        std::lock_guard lock(mutex_);
        arrived_ = expected_;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int arrived_ = 0;
    const int expected_;
};

// Collects job completions and lets the test wait for all of them.
class Completions {
public:
    void add(int value)
    {
        std::lock_guard lock(mutex_);
        values_.push_back(value);
        changed_.notify_all();
    }
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
        for (int i = 0; i < 200; ++i) {
            dispatcher.submit(":1.7", [&, i] {
                if (running.fetch_add(1) != 0)
                    overlapped = true;
                done.add(i);
                running.fetch_sub(1);
            });
        }
        auto order = done.waitFor(200);
        ASSERT_EQ(order.size(), 200u);
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(order[static_cast<size_t>(i)], i);
    }
    EXPECT_FALSE(overlapped);
}

TEST(RequestDispatcher, RunsDifferentCallersAtTheSameTime)
{
    constexpr int callers = 16;
    Rendezvous together(callers);
    Completions done;
    RequestDispatcher dispatcher;
    for (int i = 0; i < callers; ++i)
        dispatcher.submit(":1." + std::to_string(i), [&, i] { done.add(together.arriveAndWait() ? i : -1); });
    auto results = done.waitFor(callers);
    ASSERT_EQ(results.size(), static_cast<size_t>(callers));
    for (int result : results)
        EXPECT_GE(result, 0) << "a caller waited for another instead of running beside it";
}

TEST(RequestDispatcher, NeverRunsMoreWorkersThanItsLimit)
{
    Rendezvous gate(100);  // held closed until the test opens it
    Completions done;
    RequestDispatcher dispatcher(2);
    for (int i = 0; i < 5; ++i)
        dispatcher.submit(":1." + std::to_string(i), [&, i] {
            gate.arriveAndWait();
            done.add(i);
        });
    gate.waitForArrivals(2);
    EXPECT_EQ(gate.arrived(), 2);
    EXPECT_EQ(dispatcher.workerCount(), 2u);
    gate.open();
    EXPECT_EQ(done.waitFor(5).size(), 5u);
}

TEST(RequestDispatcher, KeepsServingAfterARequestThrows)
{
    Completions done;
    RequestDispatcher dispatcher(1);
    dispatcher.submit(":1.1", [] { throw std::runtime_error("broken handler"); });
    dispatcher.submit(":1.1", [] { throw 42; });
    dispatcher.submit(":1.1", [&] { done.add(1); });
    dispatcher.submit(":1.2", [&] { done.add(2); });
    EXPECT_EQ(done.waitFor(2).size(), 2u);
}
