#include "FakeDriver.h"
#include "FakeFileManager.h"
#include "FakePolkit.h"
#include "HelperDaemon.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using namespace ntfs::test;

namespace {

constexpr uid_t nobody = 65534;
constexpr const char* service = "com.tarn.mac.utility.store.ntfs.HelperTool";
constexpr const char* object = "/com/tarn/mac/utility/store/ntfs/HelperTool";
constexpr const char* interface = "com.tarn.mac.utility.store.ntfs.HelperToolProtocol";

// The daemon with a folder of its own standing in for "/" of the kernel's files.
class SystemOperationsOverBus : public ::testing::Test {
protected:
    SystemOperationsOverBus()
    {
        std::filesystem::create_directories(root / "proc/sys/vfs/tarnntfs/config");
        std::ofstream(hibernateCheck) << "0";
        std::ofstream(root / "proc/modules") << "tarn_ntfs 221184 1 - Live 0x0000000000000000\n"
                                                "fuse 176128 3 tarn_ntfs, Live 0x0000000000000000\n";
        std::filesystem::create_directories(root / "sys/module/tarn_ntfs");
        std::ofstream(root / "sys/module/tarn_ntfs/version") << "1.0.5\n";
    }

    HelperDaemonOptions options()
    {
        HelperDaemonOptions o;
        o.environment = {"NTFS_HELPER_SYSTEM_ROOT=" + root.path().string()};
        return o;
    }

    std::pair<int, std::string> busctl(std::vector<std::string> call)
    {
        std::vector<std::string> argv{"/usr/bin/busctl", "--system", "call", service, object, interface};
        argv.insert(argv.end(), call.begin(), call.end());
        return daemon.runClient(argv);
    }

    TempDir root;
    std::filesystem::path hibernateCheck = root / "proc/sys/vfs/tarnntfs/config/hibernate_check";
    HelperDaemon daemon{options()};
};

TEST_F(SystemOperationsOverBus, ModuleInformationHasTheContractsShape)
{
    auto [code, output] = busctl({"getLoadedKernelExtensionInfosWithBundleIdentifier_reply_", "s", "com.tarn.fs.tarn_ntfs"});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output,
              "aa{sa{sv}} 1 1 \"com.tarn.fs.tarn_ntfs\" 7 \"CFBundleIdentifier\" s \"com.tarn.fs.tarn_ntfs\" "
              "\"CFBundleVersion\" s \"1.0.5\" \"OSBundleDependencies\" as 1 \"fuse\" \"OSBundleLoadAddress\" t 0 "
              "\"OSBundleLoadSize\" t 221184 \"OSBundleRetainCount\" i 1 \"OSBundleStarted\" b true\n");

    auto client = daemon.client();
    auto all = client->getLoadedKernelExtensionInfos("");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 2u);
    EXPECT_EQ(all->at("fuse").at("OSBundleLoadSize").get<std::uint64_t>(), 176128u);
    EXPECT_FALSE(client->getLoadedKernelExtensionInfos("com.example.absent"));
}

TEST_F(SystemOperationsOverBus, MountLogFromTheDriverAndWithoutIt)
{
    auto client = daemon.client();
    EXPECT_EQ(client->getLatestDiskMountLogs(), (ntfs::CommandResult{std::nullopt, -1}));
    FakeDriver driver(root.path(), {0, std::string("last mount: ok\0", 15)});
    EXPECT_EQ(client->getLatestDiskMountLogs(), (ntfs::CommandResult{"last mount: ok", 0}));
}

TEST_F(SystemOperationsOverBus, FileJobs)
{
    TempDir dir;
    std::string a = (dir / "a").string(), b = (dir / "b").string();
    std::ofstream(a) << "";
    auto client = daemon.client();
    EXPECT_EQ(client->checkFilterInstalledFSDrivers({a, b, a}), (std::vector<std::string>{a, a}));
    EXPECT_TRUE(client->checkFilterInstalledFSDrivers({}).empty());
    client->addLinkPath((dir / "link").string(), a);
    client->addLinkPath((dir / "none").string(), b);
    client->getVersion();  // the same caller's requests run in order: the links are done
    EXPECT_EQ(std::filesystem::read_symlink(dir / "link"), a);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "none")));
}

TEST_F(SystemOperationsOverBus, EmptyPathsAreRefusedOrLeftOutAndTheDaemonGoesOn)
{
    auto client = daemon.client();
    auto errorOf = [](auto call) {
        try {
            call();
        } catch (const sdbus::Error& e) {
            return e.getName();
        }
        return std::string("no error");
    };
    const std::string invalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
    EXPECT_EQ(errorOf([&] { client->loadInstalledKernelExtensionAtPath(""); }), invalidArgs);
    EXPECT_EQ(errorOf([&] { client->loadInstalledKernelExtensionWithBundleId(""); }), invalidArgs);
    EXPECT_EQ(client->checkFilterInstalledFSDrivers({"/", ""}), std::vector<std::string>{"/"});
    client->revealFSDir({""});
    client->addLinkPath("", "/");
    EXPECT_EQ(client->getVersion(), "1.0.5");
}

// Every member answers something other than "not yet available", and the daemon outlives them all.
TEST_F(SystemOperationsOverBus, EveryMemberIsServed)
{
    const std::vector<std::vector<std::string>> calls{
        {"getVersionWithReply_"},
        {"loadInstalledKernelExtensionAtPath_reply_", "s", (root / "absent.ko").string()},
        {"getLoadedKernelExtensionInfosWithBundleIdentifier_reply_", "s", ""},
        {"loadInstalledKernelExtensionWithBundleId_reply_", "s", "com.tarn.fs.tarn_ntfs_absent_module"},
        {"checkDiskWithExecutablePath_forDiskIdentifier_reply_", "ss", "/nonexistent/tool", "disk9"},
        {"formatNTFSDiskWithExecutablePath_forDiskIdentifier_newName_reply_", "sss", "/nonexistent/tool", "disk9", "N"},
        {"formatDiskWithExecutablePath_forDiskIdentifier_fileSystem_newName_hasLeaf_reply_", "ssisb", "/nonexistent/tool", "disk9", "1", "N", "false"},
        {"uninstallKextAndFileSystem_andFileSytemBundlePath_reply_", "ss", (root / "absent.kext").string(), (root / "absent.fs").string()},
        {"empiricalTestForFullDiskAccessWithCommand_withParams_reply_", "sas", "/nonexistent/tool", "0"},
        {"mountDiskWithMountNTFSExecutablePath_forDiskIdentifier_withMountOptions_atMountPoint_reply_", "ssss", "/nonexistent/tool", "disk9", "ro", (root / "mnt").string()},
        {"unmountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_", "ss", "/nonexistent/tool", "disk9"},
        {"mountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_", "ss", "/nonexistent/tool", "disk9"},
        {"renameUnmountedVolumeWithDiskUtilExecutablePath_forDiskIdentifier_toNewName_reply_", "sss", "/nonexistent/tool", "disk9", "N"},
        {"sysctlConfigureKextHibernateCheckWithValue_reply_", "b", "true"},
        {"getLatestDiskMountLogsWithReply_"},
        {"checkFilterInstalledFSDriversWithList_reply_", "as", "1", "/"},
        {"revealFSDir_", "as", "0"},
        {"addLinkPath_forDiskPath_", "ss", (root / "link").string(), (root / "absent").string()},
    };
    ASSERT_EQ(calls.size(), 18u);
    const std::map<std::string, std::string> ours{
        {"loadInstalledKernelExtensionAtPath_reply_", "ti 4 -603947002\n"},
        {"getLoadedKernelExtensionInfosWithBundleIdentifier_reply_", ""},
        {"loadInstalledKernelExtensionWithBundleId_reply_", "ti 4 -603947002\n"},
        {"sysctlConfigureKextHibernateCheckWithValue_reply_", "asi 0 0\n"},
        {"getLatestDiskMountLogsWithReply_", "asi 0 -1\n"},
        {"checkFilterInstalledFSDriversWithList_reply_", "as 1 \"/\"\n"},
        {"revealFSDir_", ""},
        {"addLinkPath_forDiskPath_", ""},
    };
    for (const auto& call : calls) {
        auto [code, output] = busctl(call);
        EXPECT_EQ(output.find("not yet available"), std::string::npos) << call[0] << ": " << output;
        auto mine = ours.find(call[0]);
        if (mine != ours.end() && !mine->second.empty()) {
            EXPECT_EQ(output, mine->second) << call[0];
        }
    }
    EXPECT_EQ(daemon.client()->getVersion(), "1.0.5");
}

// revealFSDir_ from a caller that polkit lets in, shown on a session bus as that caller.
TEST(RevealOverBus, ReachesTheFileManagerAsTheCallingUser)
{
    PrivateBus session{{PrivateBusOptions::Kind::Session, {}, "  <policy context=\"default\"><allow user=\"*\"/></policy>\n"}};
    ::chmod(session.directory().c_str(), 0755);
    FakeFileManager fileManager(session.address());
    HelperDaemonOptions options;
    options.extraPolicy = FakePolkit::policy();
    options.environment = {"NTFS_HELPER_SESSION_BUS_ADDRESS=" + session.address()};
    HelperDaemon daemon(options);
    FakePolkit polkit(daemon.bus().address(), true);

    auto [code, output] = daemon.runClient({NTFS_REVEAL_CALLER, "/media/My Disk", "/srv/b"}, nobody);
    EXPECT_EQ(output, "1.0.5\n");
    auto calls = fileManager.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].uris, (std::vector<std::string>{"file:///media/My%20Disk", "file:///srv/b"}));
    EXPECT_EQ(calls[0].startupId, "");
    EXPECT_EQ(calls[0].callerUid, nobody);
}

}  // namespace
