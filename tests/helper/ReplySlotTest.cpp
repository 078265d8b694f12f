#include "BusEventLoop.h"
#include "PrivateBus.h"
#include "ReplyQueue.h"
#include "ReplySlot.h"
#include "RequestDispatcher.h"

#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include <thread>

using namespace ntfs;
using namespace std::chrono_literals;

namespace {

// A tiny service built from the helper's reply machinery: each method hands its request to the
// dispatcher, whose job replies, throws, or drops the reply without sending it.
class ReplyMachinery : public ::testing::Test {
protected:
    void SetUp() override
    {
        server_ = sdbus::createSessionBusConnectionWithAddress(bus_.address());
        loop_ = std::make_unique<BusEventLoop>(*server_, replies_);
        object_ = sdbus::createObject(*server_, "/test");
        add("Replies", [](auto& slot) { slot->reply("done"); });
        add("Throws", [](auto&) { throw std::runtime_error("handler failed"); });
        add("Drops", [](auto&) {});
        add("Large", [](auto& slot) { slot->reply(std::string(8 * 1024 * 1024, 'x')); });
        add("RepliesTwice", [](auto& slot) {
            slot->reply("first");
            slot->reply("second");
            slot->fail("org.test.Error", "third");
        });
        object_->finishRegistration();
        server_->requestName("org.test.Replies");
        serving_ = std::jthread([this] { loop_->run(); });
        client_ = sdbus::createSessionBusConnectionWithAddress(bus_.address());
        proxy_ = sdbus::createProxy(*client_, "org.test.Replies", "/test");
    }

    void TearDown() override
    {
        loop_->requestStop();
        serving_.join();
    }

    template <typename Job>
    void add(const char* name, Job job)
    {
        object_->registerMethod(name).onInterface("org.test").implementedAs([this, job](sdbus::Result<std::string>&& result) {
            auto slot = std::make_shared<ReplySlot<std::string>>(std::move(result), replies_);
            dispatcher_.submit(object_->getCurrentlyProcessedMessage()->getSender(), [slot, job] { job(slot); });
        });
    }

    std::string call(const char* name)
    {
        std::string answer;
        try {
            proxy_->callMethod(name).onInterface("org.test").withTimeout(5s).storeResultsTo(answer);
        } catch (const sdbus::Error& e) {
            answer = e.getName();
        }
        return answer;
    }

    test::PrivateBus bus_{{test::PrivateBusOptions::Kind::Session, {}, {}}};
    std::unique_ptr<sdbus::IConnection> server_;
    ReplyQueue replies_;
    std::unique_ptr<BusEventLoop> loop_;
    std::unique_ptr<sdbus::IObject> object_;
    RequestDispatcher dispatcher_;
    std::jthread serving_;
    std::unique_ptr<sdbus::IConnection> client_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

}  // namespace

TEST_F(ReplyMachinery, EveryRequestGetsExactlyOneReply)
{
    EXPECT_EQ(call("Replies"), "done");
    EXPECT_EQ(call("Throws"), "org.freedesktop.DBus.Error.Failed");
    EXPECT_EQ(call("Drops"), "org.freedesktop.DBus.Error.Failed");
    EXPECT_EQ(call("RepliesTwice"), "first");
    // Still serving, and no stray second reply got in the way.
    EXPECT_EQ(call("Replies"), "done");
}

TEST_F(ReplyMachinery, FlushesAReplyLargerThanTheSocketBuffer)
{
    EXPECT_EQ(call("Large").size(), 8u * 1024 * 1024);
}
