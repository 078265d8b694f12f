#include "FakeTools.h"
#include "HelperDaemon.h"
#include "PosixCommandRunner.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>

using namespace ntfs;
using namespace ntfs::test;
namespace fs = std::filesystem;

namespace {

std::size_t openDescriptorsOf(pid_t pid)
{
    std::size_t count = 0;
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    while (dirent* entry = readdir(dir))
        count += entry->d_name[0] != '.';
    closedir(dir);
    return count;
}

class CommandBusTest : public ::testing::Test {
protected:
    FakeTools tools;
    HelperDaemon daemon;
    std::unique_ptr<HelperToolClient> client = daemon.client();
};

TEST_F(CommandBusTest, EveryMessageReachesItsOperation)
{
    const std::string name = "N\xC3\xBC 'x' -y";
    auto tool = tools.recorder("tool", "echo done; exit 3");
    auto expect = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), tool);
        EXPECT_EQ(tools.recorded("tool"), arguments);
    };
    EXPECT_EQ(client->checkDisk(tool, "disk4s2"), (CommandResult{"done\n", 3}));
    expect({"disk4s2"});
    EXPECT_EQ(client->formatNTFSDisk(tool, "disk4s2", name).status, 3);
    expect({"-v", name, "disk4s2"});
    EXPECT_EQ(client->formatDisk(tool, "disk4s2", 0, name, true).status, 3);
    expect({"eraseVolume", "ExFAT", name, "disk4s2"});
    EXPECT_EQ(client->formatDisk(tool, "disk4", 0, name, false).status, 3);
    expect({"eraseDisk", "ExFAT", name, "disk4"});
    EXPECT_EQ(client->mountDisk(tool, "disk5").status, 3);
    expect({"mount", "disk5"});
    EXPECT_EQ(client->unmountDisk(tool, "disk5").status, 3);
    expect({"unmount", "disk5"});
    EXPECT_EQ(client->renameUnmountedVolume(tool, "disk5", name).status, 3);
    expect({"rename", "disk5", name});
    EXPECT_FALSE(client->empiricalTestForFullDiskAccess(tool, {"", "-a b"}));
    expect({"", "-a b"});
    EXPECT_TRUE(client->empiricalTestForFullDiskAccess(tools.script("fda", "exit 1"), {}));

    auto mountPoint = tools.dir() / "Volumes" / "Data";
    EXPECT_EQ(client->mountNTFSDisk(tool, "disk6", "rw", mountPoint), (CommandResult{"done\n", 3}));
    expect({"-o", "rw", "disk6", mountPoint});
    EXPECT_FALSE(fs::exists(mountPoint));

    auto kext = tools.dir() / "a.kext";
    fs::create_directories(kext / "Contents");
    EXPECT_EQ(client->uninstallKextAndFileSystem(kext, tools.dir() / "missing.fs"), 0);
    EXPECT_FALSE(fs::exists(kext));
}

TEST_F(CommandBusTest, OddOutcomesTravelAsTheyAre)
{
    EXPECT_EQ(client->checkDisk(tools.script("quiet", "exit 0"), "d"), (CommandResult{"", 0}));
    EXPECT_EQ(client->checkDisk(tools.script("latin1", "printf 'caf\\351'; exit 2"), "d"), (CommandResult{std::nullopt, 2}));
    try {
        client->formatDisk(tools.recorder("tool"), "disk4", 7, "Data", true);
        ADD_FAILURE() << "index 7 accepted";
    } catch (const sdbus::Error& e) {
        EXPECT_EQ(e.getName(), "org.freedesktop.DBus.Error.InvalidArgs");
        EXPECT_NE(e.getMessage().find('7'), std::string::npos);
    }
    EXPECT_TRUE(tools.recorded("tool").empty());
}

TEST_F(CommandBusTest, HugeOutputIsCutToTheCapAndTheHelperGoesOn)
{
    auto result = client->checkDisk(tools.script("huge", "yes | head -c 209715200"), "d");
    EXPECT_EQ(result.status, 0);
    ASSERT_TRUE(result.text);
    EXPECT_LE(result.text->size(), PosixCommandRunner::defaultOutputCap + 200);
    EXPECT_NE(result.text->rfind("[output truncated by the helper"), std::string::npos);
    EXPECT_EQ(client->checkDisk("/bin/echo", "still serving"), (CommandResult{"still serving\n", 0}));
}

TEST_F(CommandBusTest, AThousandRequestsLeaveNoDescriptorBehind)
{
    auto directory = tools.dir().path().string();
    auto missing = (tools.dir() / "missing").string();
    client->checkDisk("/bin/true", "warm-up");
    auto before = openDescriptorsOf(daemon.pid());
    for (int i = 0; i < 1000; ++i) {
        switch (i % 5) {
        case 0: EXPECT_EQ(client->checkDisk("/bin/true", "d").status, 0); break;
        case 1: EXPECT_EQ(client->checkDisk("/bin/false", "d").status, 1); break;
        case 2: EXPECT_EQ(client->checkDisk(missing, "d").status, 127); break;
        case 3: EXPECT_EQ(client->checkDisk(directory, "d").status, 126); break;
        case 4: EXPECT_THROW(client->formatDisk("/bin/true", "d", -1, "n", true), sdbus::Error); break;
        }
    }
    EXPECT_EQ(openDescriptorsOf(daemon.pid()), before);
}

}  // namespace
