#include "KernelExtensionOperations.h"
#include "KextReturnCodes.h"
#include "ProcLoadedModules.h"
#include "RequestError.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

namespace ntfs {
namespace {

class FakeKernelModules final : public KernelModules {
public:
    int answer = 0;
    std::vector<std::string> paths, names;
    int loadAtPath(const std::string& path) override { paths.push_back(path); return answer; }
    int loadByName(const std::string& name) override { names.push_back(name); return answer; }
};

class NoLoadedModules final : public LoadedModules {
public:
    std::vector<LoadedModule> list() override { return {}; }
};

struct LoadRow {
    int linuxError;
    std::uint64_t result;
    std::int32_t code;
};

class KextLoadTable : public ::testing::TestWithParam<LoadRow> {};

// Every Linux failure lands on one kext manager code, and that code on its KextLoadResult.
TEST_P(KextLoadTable, BothLoadOperationsReplyTheMappedPair)
{
    FakeKernelModules modules;
    NoLoadedModules loaded;
    KernelExtensionOperations operations(modules, loaded);
    modules.answer = GetParam().linuxError;
    std::pair<std::uint64_t, std::int32_t> expected{GetParam().result, GetParam().code};
    EXPECT_EQ(operations.loadAtPath("/lib/modules/x/tarn_ntfs.ko"), expected);
    EXPECT_EQ(operations.loadWithBundleIdentifier("com.tarn.filesystems.tarn_ntfs"), expected);
    EXPECT_EQ(modules.names, std::vector<std::string>{"tarn_ntfs"});
}

INSTANTIATE_TEST_SUITE_P(LinuxErrors, KextLoadTable, ::testing::Values(
    LoadRow{0, 2, 0},
    LoadRow{EEXIST, 2, 0},
    LoadRow{EPERM, 1, -603946981},
    LoadRow{EKEYREJECTED, 1, -603946981},
    LoadRow{ENOKEY, 1, -603946981},
    LoadRow{ENOEXEC, 3, -603946989},
    LoadRow{EINVAL, 3, -603946989},
    LoadRow{ENOENT, 4, static_cast<std::int32_t>(0xdc008006u)},
    LoadRow{ENOMEM, 4, static_cast<std::int32_t>(0xdc008002u)},
    LoadRow{ENOSYS, 4, static_cast<std::int32_t>(0xdc008009u)},
    LoadRow{EBUSY, 4, static_cast<std::int32_t>(0xdc008018u)},
    LoadRow{EIO, 0, -603947007}));

TEST(KextLoadResult, MapsEachReturnCodeByValue)
{
    EXPECT_EQ(KextReturnCodes::loadResultOf(0), 2u);
    EXPECT_EQ(KextReturnCodes::loadResultOf(-603947007), 0u);
    EXPECT_EQ(KextReturnCodes::loadResultOf(-603946981), 1u);
    EXPECT_EQ(KextReturnCodes::loadResultOf(-603946989), 3u);
    for (std::int32_t other : {1, -1, -603947006, static_cast<std::int32_t>(0xdc008006u), INT32_MIN, INT32_MAX})
        EXPECT_EQ(KextReturnCodes::loadResultOf(other), 4u) << other;
}

TEST(KextLoad, BundleIdentifierNamesTheModuleOfItsLastPart)
{
    EXPECT_EQ(KernelExtensionOperations::moduleNameOf("com.tarn.filesystems.tarn_ntfs"), "tarn_ntfs");
    EXPECT_EQ(KernelExtensionOperations::moduleNameOf("tarn_ntfs"), "tarn_ntfs");
    EXPECT_EQ(KernelExtensionOperations::moduleNameOf("com.tarn."), "");
}

TEST(KextLoad, EmptyPathOrIdentifierIsRefusedWithoutLoading)
{
    FakeKernelModules modules;
    NoLoadedModules loaded;
    KernelExtensionOperations operations(modules, loaded);
    EXPECT_THROW(operations.loadAtPath(""), RequestError);
    EXPECT_THROW(operations.loadWithBundleIdentifier(""), RequestError);
    // An identifier ending in a dot names no module: not found, without asking the kernel.
    EXPECT_EQ(operations.loadWithBundleIdentifier("com.tarn."), (std::pair<std::uint64_t, std::int32_t>{4, static_cast<std::int32_t>(0xdc008006u)}));
    EXPECT_TRUE(modules.paths.empty());
    EXPECT_TRUE(modules.names.empty());
}

// Fixture files laid out as the kernel publishes them.
class LoadedModuleInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(root / "proc");
        std::ofstream(root / "proc/modules")
            << "tarn_ntfs 221184 1 - Live 0xffffffffc0a00000 (OE)\n"
               "fuse 176128 3 tarn_ntfs, Live 0x0000000000000000\n"
               "nls_utf8 16384 0 - Loading 0x0000000000000000\n"
               "broken line\n";
        std::filesystem::create_directories(root / "sys/module/tarn_ntfs");
        std::ofstream(root / "sys/module/tarn_ntfs/version") << "1.0.5\n";
    }

    test::TempDir root;
    FakeKernelModules modules;
    ProcLoadedModules loaded{root.path()};
    KernelExtensionOperations operations{modules, loaded};
};

TEST_F(LoadedModuleInfo, EmptyIdentifierGivesEveryLoadedModule)
{
    auto infos = operations.loadedInfos("");
    ASSERT_TRUE(infos);
    ASSERT_EQ(infos->size(), 3u);
    const auto& ntfs = infos->at("tarn_ntfs");
    EXPECT_EQ(std::get<std::string>(ntfs.at("CFBundleIdentifier")), "tarn_ntfs");
    EXPECT_EQ(std::get<std::string>(ntfs.at("CFBundleVersion")), "1.0.5");
    EXPECT_EQ(std::get<std::uint64_t>(ntfs.at("OSBundleLoadSize")), 221184u);
    EXPECT_EQ(std::get<std::uint64_t>(ntfs.at("OSBundleLoadAddress")), 0xffffffffc0a00000u);
    EXPECT_EQ(std::get<std::int32_t>(ntfs.at("OSBundleRetainCount")), 1);
    EXPECT_EQ(std::get<std::vector<std::string>>(ntfs.at("OSBundleDependencies")), std::vector<std::string>{"fuse"});
    EXPECT_TRUE(std::get<bool>(ntfs.at("OSBundleStarted")));

    const auto& utf8 = infos->at("nls_utf8");
    EXPECT_FALSE(utf8.contains("CFBundleVersion"));
    EXPECT_FALSE(std::get<bool>(utf8.at("OSBundleStarted")));
    EXPECT_TRUE(std::get<std::vector<std::string>>(infos->at("fuse").at("OSBundleDependencies")).empty());
}

TEST_F(LoadedModuleInfo, IdentifierGivesThatModuleOnlyKeyedAsAsked)
{
    auto infos = operations.loadedInfos("com.tarn.filesystems.tarn-ntfs");
    ASSERT_TRUE(infos);
    ASSERT_EQ(infos->size(), 1u);
    const auto& info = infos->at("com.tarn.filesystems.tarn-ntfs");
    EXPECT_EQ(std::get<std::string>(info.at("CFBundleIdentifier")), "com.tarn.filesystems.tarn-ntfs");
    EXPECT_EQ(std::get<std::uint64_t>(info.at("OSBundleLoadSize")), 221184u);
}

TEST_F(LoadedModuleInfo, UnknownIdentifierOrNoModulesGivesNothing)
{
    EXPECT_FALSE(operations.loadedInfos("com.example.absent"));
    ProcLoadedModules none{root / "nowhere"};
    KernelExtensionOperations empty{modules, none};
    EXPECT_FALSE(empty.loadedInfos(""));
}

TEST(ProcModulesLine, ReadsTheKernelsFieldsAndRefusesOthers)
{
    auto module = ProcLoadedModules::parseLine("a 10 - b,c, Unloading 0x10");
    ASSERT_TRUE(module);
    EXPECT_FALSE(module->useCount);
    EXPECT_EQ(module->usedBy, (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(module->address, 16u);
    EXPECT_FALSE(ProcLoadedModules::parseLine("a x 1 - Live 0x0"));
    EXPECT_FALSE(ProcLoadedModules::parseLine("a 1 1 - Live"));
}

}  // namespace
}  // namespace ntfs
