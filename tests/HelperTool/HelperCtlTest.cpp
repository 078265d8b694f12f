#include "tests/HelperTool/FakePolkit.h"
#include "tests/HelperTool/HelperDaemon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace ntfs::test;
namespace fs = std::filesystem;

namespace {

constexpr uid_t nobody = 65534;

// Any block device of this machine: the verbs name a device, and echo is the tool here.
std::string someBlockDevice()
{
    for (const auto& entry : fs::directory_iterator("/sys/class/block")) {
        std::string path = "/dev/" + entry.path().filename().string();
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode))
            return path;
    }
    return {};
}

}  // namespace

TEST(HelperCtl, ConsentRefusalAndWhatIsMissingEachHaveTheirOwnStatus)
{
    std::string device = someBlockDevice();
    if (device.empty())
        GTEST_SKIP() << "this machine has no block device";
    HelperDaemon daemon({NTFS_HELPER_EXECUTABLE, {}, FakePolkit::policy(), false});
    FakePolkit polkit(daemon.bus().address(), false);
    struct Case {
        std::vector<std::string> arguments;
        std::optional<uid_t> user;
        int status;
    } cases[] = {
        {{"--tool", "/bin/echo", "check", device}, std::nullopt, 0},
        {{"--tool", "/bin/echo", "check", device}, nobody, 77},
        {{"--no-user-interaction", "--tool", "/bin/echo", "check", device}, nobody, 77},
        {{"check", "/dev/no-such-disk"}, std::nullopt, 6},
        {{"--tool", "/bin/echo", "format", device, "--ntfs", "Name"}, std::nullopt, 64},  // no terminal to confirm on, no --yes
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{NTFS_HELPERCTL};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        auto [status, output] = daemon.runClient(argv, c.user);
        EXPECT_EQ(status, c.status) << output;
    }
    // The first refused caller let the helper have it asked; the second did not.
    auto questions = polkit.questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].flags, 1u);
    EXPECT_EQ(questions[1].flags, 0u);

    auto noDriver = ChildProcess::run({NTFS_HELPERCTL, "check", device}, {{daemon.bus().environmentEntry(), "NTFS_INSTALL_ROOT=/nonexistent"}, std::nullopt, true});
    EXPECT_EQ(noDriver.first, 4) << noDriver.second;
    PrivateBus empty;
    auto noHelper = ChildProcess::run({NTFS_HELPERCTL, "call", "version"}, {{empty.environmentEntry()}, std::nullopt, true});
    EXPECT_EQ(noHelper.first, 3) << noHelper.second;
}
