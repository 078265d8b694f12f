#include "HelperTool/Platform/Linux/SessionBusFileViewer.h"
#include "tests/HelperTool/FakeDriver.h"
#include "tests/HelperTool/FakeFileManager.h"
#include "tests/HelperTool/FakePolkit.h"
#include "tests/HelperTool/HelperDaemon.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

using namespace ntfs::test;
namespace fs = std::filesystem;

namespace {

constexpr uid_t nobody = 65534;

// The daemon with a folder of its own standing in for "/" of the kernel's files.
class SystemOperationsOverBus : public ::testing::Test {
protected:
    SystemOperationsOverBus()
    {
        for (auto folder : {"sys/module/tarn_ntfs", "proc"})
            fs::create_directories(root / folder);
        std::ofstream(root / "sys/module/tarn_ntfs/version") << "1.0.5\n";
        std::ofstream(root / "proc/modules") << "tarn_ntfs 221184 1 - Live 0x0000000000000000\n"
                                                "fuse 176128 3 tarn_ntfs, Live 0x0000000000000000\n";
    }
    std::string busctl(std::vector<std::string> call)
    {
        std::vector<std::string> argv{"/usr/bin/busctl", "--system", "call", "com.tarn.mac.utility.store.ntfs.HelperTool",
                                      "/com/tarn/mac/utility/store/ntfs/HelperTool", "com.tarn.mac.utility.store.ntfs.HelperToolProtocol"};
        argv.insert(argv.end(), call.begin(), call.end());
        return daemon.runClient(argv).second;
    }

    TempDir root;
    HelperDaemon daemon{{NTFS_HELPER_EXECUTABLE, {"NTFS_HELPER_SYSTEM_ROOT=" + root.path().string()}, {}, false}};
    std::unique_ptr<ntfs::HelperToolClient> client = daemon.client();
};

TEST_F(SystemOperationsOverBus, ModuleInformationHasTheContractsShape)
{
    EXPECT_EQ(busctl({"getLoadedKernelExtensionInfosWithBundleIdentifier_reply_", "s", "com.tarn.fs.tarn_ntfs"}),
              "aa{sa{sv}} 1 1 \"com.tarn.fs.tarn_ntfs\" 7 \"CFBundleIdentifier\" s \"com.tarn.fs.tarn_ntfs\" "
              "\"CFBundleVersion\" s \"1.0.5\" \"OSBundleDependencies\" as 1 \"fuse\" \"OSBundleLoadAddress\" t 0 "
              "\"OSBundleLoadSize\" t 221184 \"OSBundleRetainCount\" i 1 \"OSBundleStarted\" b true\n");
    EXPECT_EQ(client->getLoadedKernelExtensionInfos("").value().size(), 2u);
    EXPECT_TRUE(client->getLoadedKernelExtensionInfos("com.example.absent").value().empty());
    // An empty identifier names no module: the pair of a module that is not found, not an error.
    EXPECT_EQ(client->loadInstalledKernelExtensionWithBundleId(""), (ntfs::HelperToolClient::KextLoad{4, static_cast<std::int32_t>(0xdc008006u)}));
}

// The driver's answers are the real driver's (DriverStateTest, and the booted system test).
TEST_F(SystemOperationsOverBus, MountLogWithoutTheDriver)
{
    EXPECT_EQ(client->getLatestDiskMountLogs(), (ntfs::CommandResult{std::nullopt, -1}));
}

// The members not shown elsewhere over the bus, empty paths among them, served a thousand times without a descriptor left behind.
TEST_F(SystemOperationsOverBus, AThousandRequestsToEveryMemberLeaveNoDescriptorBehind)
{
    auto missing = (root / "missing").string(), mountPoint = (root / "Volumes" / "x").string(), a = (root / "proc/modules").string();
    fs::create_symlink(missing, root / "dangling");
    const std::vector<std::function<void()>> requests{
        [&] { EXPECT_EQ(client->checkFilterInstalledFSDrivers({a, "", missing, (root / "dangling").string(), a}), (std::vector<std::string>{a, a})); },
        [&] { EXPECT_THROW(client->loadInstalledKernelExtensionAtPath(""), sdbus::Error); },
        [&] { client->addLinkPath("", a); },
        [&] { EXPECT_EQ(client->checkDisk("/bin/false", "d").status, 1); },
        [&] { EXPECT_EQ(client->formatNTFSDisk(missing, "d", "n"), (ntfs::CommandResult{"cannot launch " + missing + ": No such file or directory (errno 2)", 127})); },
        [&] { EXPECT_EQ(client->formatDisk(root.path().string(), "d", 0, "n", true),
                        (ntfs::CommandResult{"cannot launch " + root.path().string() + ": Permission denied (errno 13)", 126})); },
        [&] { EXPECT_THROW(client->formatDisk("/bin/true", "d", -1, "n", true), sdbus::Error); },
        [&] { EXPECT_EQ(client->uninstallKextAndFileSystem(missing, missing), 0); },
        [&] { EXPECT_TRUE(client->empiricalTestForFullDiskAccess("/bin/false", {})); },
        [&] { EXPECT_EQ(client->mountNTFSDisk("/bin/false", "d", "rw", mountPoint).status, 1); },
        [&] { EXPECT_EQ(client->mountDisk("/bin/true", "d").status, 0); },
        [&] { EXPECT_EQ(client->unmountDisk("/bin/true", "d").status, 0); },
        [&] { EXPECT_EQ(client->renameUnmountedVolume("/bin/true", "d", "n").status, 0); },
        [&] { EXPECT_EQ(client->sysctlConfigureKextHibernateCheck(true).status, ENOENT); },
        [&] { EXPECT_EQ(client->loadInstalledKernelExtensionAtPath(missing), (std::pair<std::uint64_t, std::int32_t>{4, -603947002})); },
    };
    for (const auto& request : requests)
        request();
    auto before = openDescriptorCount(std::to_string(daemon.pid()));
    for (std::size_t i = 0; i < 1000; ++i)
        requests[i % requests.size()]();
    EXPECT_EQ(openDescriptorCount(std::to_string(daemon.pid())), before);
    EXPECT_FALSE(fs::exists(mountPoint));
}

// revealFSDir_ from a caller that polkit lets in, shown on a session bus as that caller.
TEST(RevealOverBus, SkipsEmptyPathsAndShowsTheRestAsTheCallingUser)
{
    PrivateBus session{{PrivateBusOptions::Kind::Session, {}, "  <policy context=\"default\"><allow user=\"*\"/></policy>\n"}};
    FakeFileManager fileManager(session.address());
    HelperDaemon daemon({NTFS_HELPER_EXECUTABLE, {"NTFS_HELPER_SESSION_BUS_ADDRESS=" + session.address()}, FakePolkit::policy(), false});
    FakePolkit polkit(daemon.bus().address(), true);

    EXPECT_EQ(daemon.runClient({NTFS_REVEAL_CALLER, "/media/My Disk", "", "/srv/b#1"}, nobody).second, "1.0.5\n");
    auto calls = fileManager.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].uris, (std::vector<std::string>{"file:///media/My%20Disk", "file:///srv/b%231"}));
    EXPECT_EQ(calls[0].callerUid, nobody);
    EXPECT_FALSE(ntfs::SessionBusFileViewer(session.address()).showItems(0, {"file:///"}).reached) << "root never calls";
    EXPECT_EQ(fileManager.calls().size(), 1u);
}

// A caller's text cannot start a log line of its own, nor choose its priority.
TEST(LogOverBus, ALoggedNewlineStaysInItsLine)
{
    HelperDaemon daemon({NTFS_HELPER_EXECUTABLE, {}, {}, true});
    daemon.client()->revealFSDir({"/x\n<0>forged"});
    std::optional<std::string> line;
    while ((line = daemon.process().readLine()) && line->find("forged") == std::string::npos) {
    }
    ASSERT_TRUE(line);
    EXPECT_NE(line->find("Path: /x\\n<0>forged"), std::string::npos) << *line;
}

}  // namespace
