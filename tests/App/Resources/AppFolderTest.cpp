// The app folder as the build lays it out and as `cmake --install` lays it out: the app finds its
// scripts, driver files, trampoline and helper beside its own executable, so both must be whole.
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using ntfs::test::ChildProcess;
using ntfs::test::TempDir;

constexpr const char* appName = "com.tarn.mac.utility.website.ntfs.HelperApp";
constexpr const char* helperPath = "Library/LaunchServices/com.zel.ntfs.HelperTool";

// Everything but the executables themselves, which an install may strip or relink.
void expectAppFolder(const fs::path& app)
{
    const std::set<std::string> resources{"Install-Kext.sh", "Install-Executables.sh", "Uninstall.sh", "Reload.sh", "driver-common.sh",
                                          "libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter",
                                          "tarn_ntfs-diskutil", "tarn_ntfs-probe", "tarn_ntfs-kctl", "tarn_ntfs.kext", "tarn_ntfs.fs"};
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(app / "Resources"))
        names.insert(item.path().filename().string());
    EXPECT_EQ(names, resources);
    EXPECT_TRUE(fs::is_directory(app / "Resources/tarn_ntfs.kext"));
    for (std::string program : {"Resources/tarn_ntfs_fix", "Resources/tarn_ntfs-formatter", "Resources/tarn_ntfs-diskutil",
                                "Resources/tarn_ntfs-probe", "Resources/tarn_ntfs-kctl",
                                "Resources/tarn_ntfs.fs/Contents/Resources/mount.tarn_ntfs", appName,
                                "ntfs-privileged-trampoline", "ntfs-bless-helper", helperPath})
        EXPECT_TRUE(fs::is_regular_file(app / program) && (fs::status(app / program).permissions() & fs::perms::owner_exec) != fs::perms::none)
            << program;
}

TEST(AppFolder, BuildTreeHoldsResourcesAndTheHelperItCarries)
{
    const fs::path app = NTFS_APP_DIR;
    expectAppFolder(app);
    std::ifstream carried(app / helperPath, std::ios::binary), built(NTFS_HELPER_EXECUTABLE, std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(carried), {}, std::istreambuf_iterator<char>(built), {}));
}

TEST(AppFolder, InstallLaysOutTheSameFolderWithALauncher)
{
    TempDir prefix;
    auto [status, output] = ChildProcess::run({CMAKE_COMMAND, "--install", CMAKE_BINARY_DIR, "--prefix", prefix.path().string()});
    ASSERT_EQ(status, 0) << output;

    const fs::path app = prefix / "libexec" / appName;
    expectAppFolder(app);
    EXPECT_EQ(fs::read_symlink(prefix / "bin" / appName), fs::path("../libexec") / appName / appName);
    EXPECT_TRUE(fs::exists(prefix / "share/applications" / (std::string(appName) + ".desktop")));
    // The trampoline lives only beside the app, where the app looks for it.
    EXPECT_FALSE(fs::exists(prefix / "bin/ntfs-privileged-trampoline"));
}

// --help prints the driver's one status table; the README repeats it row by row.
TEST(AppFolder, DriverHelpAndReadmeShareOneStatusTable)
{
    auto [status, help] = ChildProcess::run({std::string(NTFS_APP_DIR) + "/Resources/tarn_ntfs-probe", "--help"});
    ASSERT_EQ(status, 0) << help;
    std::stringstream readme;
    readme << std::ifstream(NTFS_SOURCE_DIR "/README.md").rdbuf();
    std::istringstream lines(help.substr(help.find("Exit status:\n") + 13));
    std::string line;
    int rows = 0;
    for (; std::getline(lines, line); ++rows) {
        std::size_t split = line.find(' ', 2);
        std::string row = "| " + line.substr(2, split - 2) + " | " + line.substr(line.find_first_not_of(' ', split)) + " |";
        EXPECT_NE(readme.str().find(row), std::string::npos) << row;
    }
    EXPECT_EQ(rows, 12);
}

}  // namespace
