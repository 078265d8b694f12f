// Commands that outlast every default timeout of the bus libraries: the client waits for them,
// and Ctrl-C ends only the wait, never the command.
#include "tests/HelperTool/HelperDaemon.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

using namespace ntfs::test;
namespace fs = std::filesystem;

namespace {

std::string writeTool(const TempDir& dir, const std::string& body)
{
    auto tool = dir / "tool";
    std::ofstream(tool) << "#!/bin/sh\n" << body;
    fs::permissions(tool, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    return tool.string();
}

bool appears(const fs::path& path)
{
    for (int i = 0; i < 1000 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // polls the tool's progress
    return fs::exists(path);
}

}  // namespace

TEST(LongCommand, HelperctlWaitsForTheStatusOfACommandThatRunsHalfAMinute)
{
    HelperDaemon daemon;
    TempDir dir;
    auto [code, output] = daemon.runClient({NTFS_HELPERCTL, "call", "check", writeTool(dir, "sleep 30\necho checked\nexit 3\n"), "disk"});
    EXPECT_EQ(code, 3) << output;
    EXPECT_NE(output.find("checked\nstatus: 3"), std::string::npos) << output;
}

TEST(LongCommand, CtrlCStopsTheWaitAndTheHelperFinishesTheCommand)
{
    HelperDaemon daemon;
    TempDir dir;
    mkfifo((dir / "go").c_str(), 0600);
    auto tool = writeTool(dir, "touch '" + (dir / "started").string() + "'\nread line < '" + (dir / "go").string() + "'\ntouch '" +
                                   (dir / "finished").string() + "'\n");
    ChildProcess client({NTFS_HELPERCTL, "call", "check", tool, "disk"}, {{daemon.bus().environmentEntry()}, std::nullopt, true});
    ASSERT_TRUE(appears(dir / "started"));
    client.signal(SIGINT);
    EXPECT_EQ(client.wait(), 130);
    EXPECT_NE(client.output().find("the helper finishes the command"), std::string::npos) << client.output();
    std::ofstream(dir / "go") << "go\n";
    EXPECT_TRUE(appears(dir / "finished"));
}
