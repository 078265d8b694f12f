#include "HelperDaemon.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

using namespace ntfs::test;

namespace {

constexpr const char* service = "com.tarn.mac.utility.store.ntfs.HelperTool";
constexpr const char* object = "/com/tarn/mac/utility/store/ntfs/HelperTool";
constexpr const char* interface = "com.tarn.mac.utility.store.ntfs.HelperToolProtocol";

// member -> (input signature, output signature, flags)
std::map<std::string, std::string> introspectedMembers(const HelperDaemon& daemon)
{
    auto [code, output] = daemon.runClient({"/usr/bin/busctl", "--system", "--no-pager", "--no-legend", "introspect", service, object, interface});
    EXPECT_EQ(code, 0) << output;
    std::map<std::string, std::string> members;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, kind, in, out, flags;
        fields >> name >> kind >> in >> out >> flags;
        if (kind == "method")
            members[name.substr(1)] = in + " " + out + " " + flags;
    }
    return members;
}

}  // namespace

TEST(HelperService, ExportsExactlyTheEighteenMessagesOfTheContract)
{
    HelperDaemon daemon;
    std::map<std::string, std::string> expected{
        {"getVersionWithReply_", "- s -"},
        {"loadInstalledKernelExtensionAtPath_reply_", "s ti -"},
        {"getLoadedKernelExtensionInfosWithBundleIdentifier_reply_", "s aa{sa{sv}} -"},
        {"loadInstalledKernelExtensionWithBundleId_reply_", "s ti -"},
        {"checkDiskWithExecutablePath_forDiskIdentifier_reply_", "ss asi -"},
        {"formatNTFSDiskWithExecutablePath_forDiskIdentifier_newName_reply_", "sss asi -"},
        {"formatDiskWithExecutablePath_forDiskIdentifier_fileSystem_newName_hasLeaf_reply_", "ssisb asi -"},
        {"uninstallKextAndFileSystem_andFileSytemBundlePath_reply_", "ss i -"},
        {"empiricalTestForFullDiskAccessWithCommand_withParams_reply_", "sas b -"},
        {"mountDiskWithMountNTFSExecutablePath_forDiskIdentifier_withMountOptions_atMountPoint_reply_", "ssss asi -"},
        {"unmountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_", "ss asi -"},
        {"mountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_", "ss asi -"},
        {"renameUnmountedVolumeWithDiskUtilExecutablePath_forDiskIdentifier_toNewName_reply_", "sss asi -"},
        {"sysctlConfigureKextHibernateCheckWithValue_reply_", "b asi -"},
        {"getLatestDiskMountLogsWithReply_", "- asi -"},
        {"checkFilterInstalledFSDriversWithList_reply_", "as as -"},
        {"revealFSDir_", "as - no-reply"},
        {"addLinkPath_forDiskPath_", "ss - no-reply"},
    };
    EXPECT_EQ(introspectedMembers(daemon), expected);
}

TEST(HelperService, RepliesTheEmbeddedVersionToEveryKindOfClient)
{
    HelperDaemon daemon;
    auto [code, output] = daemon.runClient({"/usr/bin/busctl", "--system", "call", service, object, interface, "getVersionWithReply_"});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output, "s \"1.0.5\"\n");

    EXPECT_EQ(daemon.client()->getVersion(), "1.0.5");

    auto [cliCode, cliOutput] = daemon.runClient({NTFS_HELPERCTL, "version"});
    EXPECT_EQ(cliCode, 0);
    EXPECT_EQ(cliOutput, "1.0.5\n");
}

TEST(HelperService, ReadsTheVersionFromItsOwnExecutableOnEveryCall)
{
    TempDir dir;
    auto copy = dir / "com.zel.ntfs.HelperTool";
    std::filesystem::copy_file(NTFS_HELPER_EXECUTABLE, copy);
    std::ifstream original(NTFS_INFO_PLIST);
    std::string info((std::istreambuf_iterator<char>(original)), {});
    info = std::regex_replace(info, std::regex("<string>1\\.0\\.5</string>"), "<string>7.7.7</string>");
    std::ofstream(dir / "Info.plist") << info;
    auto [code, output] = ChildProcess::run({"/usr/bin/objcopy", "--update-section", "__info_plist=" + (dir / "Info.plist").string(), copy.string()});
    ASSERT_EQ(code, 0) << output;

    HelperDaemonOptions options;
    options.executable = copy;
    HelperDaemon daemon(options);
    EXPECT_EQ(daemon.client()->getVersion(), "7.7.7");
}

TEST(HelperService, CarriesItsLaunchdJobForObjcopyToExtract)
{
    TempDir dir;
    auto extracted = dir / "job.plist";
    auto [code, output] = ChildProcess::run({"/usr/bin/objcopy", "-O", "binary", "--only-section=__launchd_plist", NTFS_HELPER_EXECUTABLE, extracted.string()});
    ASSERT_EQ(code, 0) << output;
    std::ifstream a(extracted), b(NTFS_LAUNCHD_PLIST);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(a)), {}), std::string((std::istreambuf_iterator<char>(b)), {}));
}

TEST(HelperService, IgnoresArgumentsAndEndsCleanlyOnSigterm)
{
    HelperDaemonOptions options;
    options.arguments = {"--version", "-h", "extra argument"};
    HelperDaemon daemon(options);
    EXPECT_EQ(daemon.client()->getVersion(), "1.0.5");
    daemon.process().signal(SIGTERM);
    EXPECT_EQ(exitCodeOf(daemon.process().wait()), 0);
}
