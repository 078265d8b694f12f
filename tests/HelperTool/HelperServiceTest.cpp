#include "tests/HelperTool/HelperDaemon.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

using namespace ntfs::test;

// The version comes from the property list inside the helper's own executable, not from a constant.
TEST(HelperService, ReadsTheVersionFromItsOwnExecutable)
{
    TempDir dir;
    auto copy = dir / "com.zel.ntfs.HelperTool";
    std::filesystem::copy_file(NTFS_HELPER_EXECUTABLE, copy);
    std::ifstream original(NTFS_INFO_PLIST);
    std::string info((std::istreambuf_iterator<char>(original)), {});
    std::ofstream(dir / "Info.plist") << std::regex_replace(info, std::regex("<string>1\\.0\\.5</string>"), "<string>7.7.7</string>");
    auto [code, output] = ChildProcess::run({"/usr/bin/objcopy", "--update-section", "__info_plist=" + (dir / "Info.plist").string(), copy.string()});
    ASSERT_EQ(code, 0) << output;
    EXPECT_EQ(HelperDaemon({copy, {}, {}, false}).client()->getVersion(), "7.7.7");
}
