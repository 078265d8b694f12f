#include "FakeTools.h"
#include "HelperDaemon.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sys/stat.h>
#include <thread>

using namespace ntfs;
using namespace ntfs::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* interfaceName = "com.tarn.mac.utility.store.ntfs.HelperToolProtocol";
constexpr const char* checkDisk = "checkDiskWithExecutablePath_forDiskIdentifier_reply_";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CommandConcurrency, SixteenCallersRunTheirCommandsAtTheSameTime)
{
    constexpr int callers = 16;
    FakeTools tools;
    HelperDaemon daemon;
    auto arrived = tools.dir() / "arrived";
    fs::create_directory(arrived);
    // Each command waits until all sixteen have started, then runs for a second. Were the callers
    // served one after another, the first would give up after 30 s and exit 99.
    auto rendezvous = tools.script("rendezvous", "touch '" + arrived.string() + "'/$1\n"
                                   "n=0\n"
                                   "while [ $(ls '" + arrived.string() + "' | wc -l) -lt 16 ]; do\n"
                                   "  n=$((n+1)); [ $n -gt 600 ] && exit 99; sleep 0.05\n"
                                   "done\n"
                                   "sleep 1; echo $1");
    std::vector<CommandResult> results(callers);
    std::vector<std::chrono::steady_clock::time_point> replied(callers);
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < callers; ++i) {
            threads.emplace_back([&, i] {
                auto client = daemon.client();
                results[i] = client->checkDisk(rendezvous, std::to_string(i));
                replied[i] = std::chrono::steady_clock::now();
            });
        }
    }
    for (int i = 0; i < callers; ++i)
        EXPECT_EQ(results[i], (CommandResult{std::to_string(i) + "\n", 0})) << i;
    auto [first, last] = std::minmax_element(replied.begin(), replied.end());
    ::testing::Test::RecordProperty("reply_spread_ms",
                                    std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(*last - *first).count()));
}

TEST(CommandConcurrency, OneCallersRequestsAreAnsweredInTheirOrder)
{
    FakeTools tools;
    HelperDaemon daemon;
    auto journal = tools.dir() / "journal";
    // The first request runs longest: run side by side, the replies would come back reversed.
    auto tool = tools.script("step", "echo \"start $1\" >> '" + journal.string() + "'\n"
                             "sleep $((3 - $1))\n"
                             "echo \"end $1\" >> '" + journal.string() + "'\necho $1");
    auto connection = daemon.connect();
    auto proxy = sdbus::createProxy(*connection, "com.tarn.mac.utility.store.ntfs.HelperTool",
                                    "/com/tarn/mac/utility/store/ntfs/HelperTool");
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::string> order;
    for (const char* step : {"1", "2", "3"}) {
        proxy->callMethodAsync(checkDisk)
            .onInterface(interfaceName)
            .withArguments(tool, std::string(step))
            .uponReplyInvoke([&](const sdbus::Error* error, std::vector<std::string> text, int32_t) {
                std::lock_guard lock(mutex);
                order.push_back(error ? error->getMessage() : text.empty() ? "(null)" : text.front());
                done.notify_all();
            });
    }
    connection->enterEventLoopAsync();
    {
        std::unique_lock lock(mutex);
        done.wait_for(lock, std::chrono::seconds(60), [&] { return order.size() == 3; });
    }
    connection->leaveEventLoop();
    EXPECT_EQ(order, (std::vector<std::string>{"1\n", "2\n", "3\n"}));
    EXPECT_EQ(readFile(journal), "start 1\nend 1\nstart 2\nend 2\nstart 3\nend 3\n");
}

TEST(CommandConcurrency, EveryRequestOfManyCallersGetsItsOneReply)
{
    constexpr int callers = 6;
    constexpr int rounds = 20;
    FakeTools tools;
    HelperDaemon daemon;
    auto latin1 = tools.script("latin1", "printf '\\351'; exit 4");
    auto killed = tools.script("killed", "kill -KILL $$");
    auto missing = (tools.dir() / "missing").string();
    std::vector<int> answered(callers, 0);
    {
        std::vector<std::jthread> threads;
        for (int c = 0; c < callers; ++c) {
            threads.emplace_back([&, c] {
                auto client = daemon.client();
                auto volumes = tools.dir() / ("c" + std::to_string(c)) / "Volumes" / "X";
                for (int r = 0; r < rounds; ++r) {
                    EXPECT_EQ(client->checkDisk(latin1, "d"), (CommandResult{std::nullopt, 4}));
                    EXPECT_EQ(client->checkDisk(killed, "d").status, 9);
                    EXPECT_EQ(client->checkDisk(missing, "d").status, 127);
                    EXPECT_THROW(client->formatDisk(latin1, "d", 1, "n", false), sdbus::Error);
                    EXPECT_EQ(client->mountNTFSDisk("/bin/false", "d", "rw", volumes).status, 1);
                    EXPECT_FALSE(client->empiricalTestForFullDiskAccess(missing, {}));
                    answered[c] += 6;
                }
            });
        }
    }
    for (int c = 0; c < callers; ++c)
        EXPECT_EQ(answered[c], rounds * 6);
    EXPECT_EQ(daemon.client()->getVersion(), "1.0.5");
}

}  // namespace

namespace {

TEST(CommandConcurrency, OnSigtermWaitingRequestsAreAnsweredAtOnceAndTheRunningOneEnds)
{
    FakeTools tools;
    HelperDaemon daemon;
    auto started = tools.dir() / "started", release = tools.dir() / "release";
    ASSERT_EQ(mkfifo(started.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(release.c_str(), 0600), 0);
    // Says it has started, then waits until the test lets it end.
    auto held = tools.script("held", "echo started > '" + started.string() + "'\nread line < '" + release.string() + "'\necho $1");
    auto connection = daemon.connect();
    auto proxy = sdbus::createProxy(*connection, "com.tarn.mac.utility.store.ntfs.HelperTool",
                                    "/com/tarn/mac/utility/store/ntfs/HelperTool");
    std::mutex mutex;
    std::condition_variable answered;
    std::vector<std::string> answers;
    for (const char* step : {"1", "2"}) {
        proxy->callMethodAsync(checkDisk)
            .onInterface(interfaceName)
            .withArguments(held, std::string(step))
            .uponReplyInvoke([&, step](const sdbus::Error* error, std::vector<std::string> text, int32_t) {
                std::lock_guard lock(mutex);
                answers.push_back(step + std::string(" ") + (error ? error->getName() : text.empty() ? "(null)" : text.front()));
                answered.notify_all();
            });
    }
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
    EXPECT_EQ(exitCodeOf(daemon.process().wait()), 0);
    connection->leaveEventLoop();
}

}  // namespace
