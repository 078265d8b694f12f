#include "HelperTool/Platform/Linux/KmodKernelModules.h"
#include "HelperTool/Platform/Linux/ModuleBundle.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

namespace ntfs {
namespace {

TEST(KmodKernelModules, PipesAndDevicesAreRefusedAsModules)
{
    test::TempDir dir;
    int error = -1;
    ::mkfifo((dir / "pipe.ko").c_str(), 0600);
    KmodKernelModules modules;
    for (auto special : {dir / "pipe.ko", std::filesystem::path("/dev/zero")}) {
        EXPECT_TRUE(ModuleBundle::moduleFile(special, error).empty()) << special;
        EXPECT_EQ(error, ENOEXEC) << special;
        EXPECT_EQ(modules.loadAtPath(special.string()), ENOEXEC) << special;
    }
    EXPECT_EQ(modules.loadAtPath((dir / "absent.ko").string()), ENOENT);
}

}  // namespace
}  // namespace ntfs
