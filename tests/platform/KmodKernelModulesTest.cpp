#include "KmodKernelModules.h"
#include "ModuleBundle.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sys/stat.h>

namespace ntfs {
namespace {

TEST(ModuleBundle, FolderMustHoldExactlyOneModuleFile)
{
    test::TempDir dir;
    auto bundle = dir / "tarn_ntfs.kext";
    std::filesystem::create_directories(bundle / "Contents/Linux");
    std::ofstream(bundle / "Contents/Info.plist") << "<plist/>";
    int error = -1;
    EXPECT_TRUE(ModuleBundle::moduleFile(bundle, error).empty());
    EXPECT_EQ(error, ENOEXEC);

    EXPECT_EQ(ModuleBundle::namedModule(bundle), "");
    std::ofstream(bundle / "Contents/Linux/tarn_ntfs.conf") << "# ours\nalias tarn_ntfs ntfs3\n";
    EXPECT_EQ(ModuleBundle::namedModule(bundle), "ntfs3");

    std::ofstream(bundle / "Contents/Linux/tarn_ntfs.ko.xz") << "x";
    EXPECT_EQ(ModuleBundle::moduleFile(bundle, error), bundle / "Contents/Linux/tarn_ntfs.ko.xz");
    EXPECT_EQ(error, 0);

    std::ofstream(bundle / "Contents/other.ko") << "x";
    EXPECT_TRUE(ModuleBundle::moduleFile(bundle, error).empty());
    EXPECT_EQ(error, ENOEXEC);

    EXPECT_EQ(ModuleBundle::moduleFile(bundle / "Contents/Info.plist", error), bundle / "Contents/Info.plist");
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(ModuleBundle::moduleFile(dir / "absent.ko", error).empty());
    EXPECT_EQ(error, ENOENT);

    ::mkfifo((dir / "pipe.ko").c_str(), 0600);
    for (auto special : {dir / "pipe.ko", std::filesystem::path("/dev/zero")}) {
        EXPECT_TRUE(ModuleBundle::moduleFile(special, error).empty()) << special;
        EXPECT_EQ(error, ENOEXEC) << special;
    }
}

// The kernel is asked for real here, with nothing it could take.
TEST(KmodKernelModules, ReportsWhatStoppedTheLoad)
{
    test::TempDir dir;
    KmodKernelModules modules;
    EXPECT_EQ(modules.loadAtPath((dir / "absent.ko").string()), ENOENT);
    EXPECT_EQ(modules.loadAtPath(dir.path().string()), ENOEXEC);
    EXPECT_EQ(modules.loadByName("tarn_ntfs_no_such_module_0x5f"), ENOENT);
    std::filesystem::create_directories(dir / "b.kext/Contents/Linux");
    std::ofstream(dir / "b.kext/Contents/Linux/b.conf") << "alias b tarn_ntfs_no_such_module_0x5f\n";
    EXPECT_EQ(modules.loadAtPath((dir / "b.kext").string()), ENOENT);

    std::ofstream(dir / "garbage.ko") << "not an ELF object";
    int error = modules.loadAtPath((dir / "garbage.ko").string());
    EXPECT_NE(error, 0);
    EXPECT_NE(error, EEXIST);
}

}  // namespace
}  // namespace ntfs
