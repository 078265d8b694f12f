#include "HelperDaemon.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <regex>

using namespace ntfs::test;

namespace {

constexpr const char* service = "com.tarn.mac.utility.store.ntfs.HelperTool";
constexpr const char* object = "/com/tarn/mac/utility/store/ntfs/HelperTool";
constexpr const char* interface = "com.tarn.mac.utility.store.ntfs.HelperToolProtocol";

}  // namespace

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
