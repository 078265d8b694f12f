#include "tests/HelperTool/FakeTools.h"
#include "tests/HelperTool/HelperDaemon.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <fstream>
#include <mutex>
#include <sys/stat.h>

using namespace ntfs::test;

TEST(CommandConcurrency, OnSigtermWaitingRequestsAreAnsweredAtOnceAndTheRunningOneEnds)
{
    FakeTools tools;
    HelperDaemon daemon;
    auto started = tools.dir() / "started", release = tools.dir() / "release";
    ASSERT_EQ(mkfifo(started.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(release.c_str(), 0600), 0);
    auto held = tools.script("held", "echo started > '" + started.string() + "'\nread line < '" + release.string() + "'\necho $1");
    auto connection = daemon.connect();
    auto proxy = sdbus::createProxy(*connection, "com.tarn.mac.utility.store.ntfs.HelperTool", "/com/tarn/mac/utility/store/ntfs/HelperTool");
    std::mutex mutex;
    std::condition_variable answered;
    std::vector<std::string> answers;
    for (const char* step : {"1", "2"})
        proxy->callMethodAsync("checkDiskWithExecutablePath_forDiskIdentifier_reply_")
            .onInterface("com.tarn.mac.utility.store.ntfs.HelperToolProtocol")
            .withArguments(held, std::string(step))
            .uponReplyInvoke([&, step](const sdbus::Error* error, std::vector<std::string> text, int32_t) {
                std::lock_guard lock(mutex);
                answers.push_back(step + std::string(" ") + (error ? error->getName() : text.empty() ? "(null)" : text.front()));
                answered.notify_all();
            });
    connection->enterEventLoopAsync();
    auto waitForAnswers = [&](std::size_t count) {
        std::unique_lock lock(mutex);
        answered.wait_for(lock, std::chrono::seconds(60), [&] { return answers.size() >= count; });
        return answers;
    };
    std::string word;
    std::ifstream(started) >> word;  // the first command runs; the second waits behind it
    daemon.process().signal(SIGTERM);
    EXPECT_EQ(waitForAnswers(1), std::vector<std::string>{"2 org.freedesktop.DBus.Error.Failed"});
    std::ofstream(release) << "go\n";
    EXPECT_EQ(waitForAnswers(2), (std::vector<std::string>{"2 org.freedesktop.DBus.Error.Failed", "1 1\n"}));
    EXPECT_EQ(daemon.process().wait(), 0);
    connection->leaveEventLoop();
}
