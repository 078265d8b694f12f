#include "HelperTool/Service/BusEventLoop.h"
#include "HelperTool/Service/ReplyQueue.h"
#include "HelperTool/Service/ReplySlot.h"
#include "HelperTool/Service/RequestDispatcher.h"
#include "tests/support/PrivateBus.h"

#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include <functional>
#include <thread>

using namespace ntfs;
using namespace std::chrono_literals;

// A tiny service built from the helper's reply machinery: each method hands its request to the
// dispatcher, whose job replies, throws, or drops the reply without sending it.
TEST(ReplyMachinery, EveryRequestGetsExactlyOneReply)
{
    test::PrivateBus bus({test::PrivateBusOptions::Kind::Session, {}, {}});
    auto server = sdbus::createSessionBusConnectionWithAddress(bus.address());
    ReplyQueue replies;
    BusEventLoop loop(*server, replies);
    auto object = sdbus::createObject(*server, "/test");
    RequestDispatcher dispatcher;
    using Job = std::function<void(std::shared_ptr<ReplySlot<std::string>>&)>;
    auto add = [&](const char* name, Job job) {
        object->registerMethod(name).onInterface("org.test").implementedAs([&, job](sdbus::Result<std::string>&& result) {
            auto slot = std::make_shared<ReplySlot<std::string>>(std::move(result), replies);
            dispatcher.submit(object->getCurrentlyProcessedMessage()->getSender(), [slot, job]() mutable { job(slot); });
        });
    };
    add("Replies", [](auto& slot) { slot->reply("done"); });
    add("Throws", [](auto&) { throw std::runtime_error("handler failed"); });
    add("Drops", [](auto&) {});
    add("Large", [](auto& slot) { slot->reply(std::string(8 * 1024 * 1024, 'x')); });
    add("RepliesTwice", [](auto& slot) {
        slot->reply("first");
        slot->reply("second");
        slot->fail("org.test.Error", "third");
    });
    object->finishRegistration();
    server->requestName("org.test.Replies");
    std::jthread serving([&] { loop.run(); });
    auto client = sdbus::createSessionBusConnectionWithAddress(bus.address());
    auto proxy = sdbus::createProxy(*client, "org.test.Replies", "/test");
    auto call = [&](const char* name) {
        std::string answer;
        try {
            proxy->callMethod(name).onInterface("org.test").withTimeout(5s).storeResultsTo(answer);
        } catch (const sdbus::Error& e) {
            answer = e.getName();
        }
        return answer;
    };

    EXPECT_EQ(call("Replies"), "done");
    EXPECT_EQ(call("Throws"), "org.freedesktop.DBus.Error.Failed");
    EXPECT_EQ(call("Drops"), "org.freedesktop.DBus.Error.Failed");
    EXPECT_EQ(call("RepliesTwice"), "first");
    // Still serving, and no stray second reply got in the way.
    EXPECT_EQ(call("Replies"), "done");
    EXPECT_EQ(call("Large").size(), 8u * 1024 * 1024);  // more than the socket buffer takes at once
    loop.requestStop();
}
