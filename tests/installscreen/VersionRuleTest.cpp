// The system's version picks the install script, what it receives, and the screen that follows.
#include "InstallFixture.h"

#include "InstallVersionRule.h"
#include "LinuxPlatformVersionSource.h"

#include <fstream>
#include <sstream>

namespace ntfs::test {
namespace {

struct VersionCase {
    OperatingSystemVersion version;
    const char* screenClass;
    const char* script;
    bool kernelExtension;
};

std::string name(const OperatingSystemVersion& v)
{
    return std::to_string(v.majorVersion) + "_" + std::to_string(v.minorVersion) + "_" + std::to_string(v.patchVersion);
}

void PrintTo(const VersionCase& c, std::ostream* os) { *os << name(c.version); }

class VersionRuleTest : public InstallFixture, public testing::WithParamInterface<VersionCase> {
protected:
    // Both install scripts record what they were given: $0, each argument, the folder they run in.
    void SetUp() override
    {
        InstallFixture::SetUp();
        record_ = work_ / "record";
        for (const char* script : {"Install-Kext.sh", "Install-Executables.sh"})
            writeScript(script, "{ echo \"$0\"; for a in \"$@\"; do echo \"$a\"; done; pwd; } > '" + record_.string() + "'\n");
        osVersion.version = GetParam().version;
    }

    std::vector<std::string> recorded() const
    {
        std::ifstream in(record_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::filesystem::path record_;
};

TEST_P(VersionRuleTest, PicksTheScriptItsArgumentsAndTheSuccessScreen)
{
    auto resources = (app_ / "Resources").string();
    std::vector<std::string> expected{resources + "/" + GetParam().script, resources + "/libintl.8.dylib",
                                      resources + "/tarn_ntfs_fix", resources + "/tarn_ntfs-formatter"};
    if (GetParam().kernelExtension) {
        expected.push_back(resources + "/tarn_ntfs.kext");
        expected.push_back(resources + "/tarn_ntfs.fs");
    }
    expected.push_back(resources);  // the working directory

    QString result;
    EXPECT_TRUE(screen().copyInstallExecutales(result)) << result.toStdString();
    EXPECT_EQ(recorded(), expected);

    screen().showInstallationSuccessResult();
    settle();
    EXPECT_EQ(contentClass(), GetParam().screenClass);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, VersionRuleTest,
    testing::Values(VersionCase{{10, 13, 6}, "NoFDARebootViewController", "Install-Executables.sh", false},
                    VersionCase{{10, 13, 99}, "NoFDARebootViewController", "Install-Executables.sh", false},
                    VersionCase{{10, 14, 0}, "GrantPermissionViewController", "Install-Executables.sh", false},
                    VersionCase{{12, 7, 0}, "GrantPermissionViewController", "Install-Executables.sh", false},
                    VersionCase{{12, 99, 99}, "GrantPermissionViewController", "Install-Executables.sh", false},
                    VersionCase{{13, 0, 0}, "VenturaQRCodeViewController", "Install-Kext.sh", true},
                    VersionCase{{14, 2, 1}, "VenturaQRCodeViewController", "Install-Kext.sh", true}),
    [](const auto& p) { return name(p.param.version); });

TEST(LinuxPlatformVersionTest, InstallsTheKernelModuleAndEndsOnTheQRCodeScreen)
{
    LinuxPlatformVersionSource platform;
    EXPECT_TRUE(InstallVersionRule::installsKernelExtension(platform));
    EXPECT_EQ(InstallVersionRule::successScreenIdentifier(platform), QStringLiteral("scanQRCode"));
}

}  // namespace
}  // namespace ntfs::test
