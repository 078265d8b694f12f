// The system's version picks the install script, what it receives, and the screen that follows.
#include "tests/App/Screens/InstallFixture.h"

namespace ntfs::test {
namespace {

struct VersionCase {
    OperatingSystemVersion version;
    const char *screenClass, *script;
};

class VersionRuleTest : public InstallFixture, public testing::WithParamInterface<VersionCase> {};

TEST_P(VersionRuleTest, PicksTheScriptItsArgumentsAndTheSuccessScreen)
{
    // Both install scripts record what they were given: $0, each argument, the folder they run in.
    auto record = work_ / "record";
    for (const char* script : {"Install-Kext.sh", "Install-Executables.sh"})
        writeScript(script, "{ echo \"$0\"; for a in \"$@\"; do echo \"$a\"; done; pwd; } > '" + record.string() + "'\n");
    services.osVersion.version = GetParam().version;
    auto resources = (app_ / "Resources").string() + "/";
    std::string expected = resources + GetParam().script + "\n";
    for (const char* file : {"libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter", "tarn_ntfs.kext", "tarn_ntfs.fs"})
        if (GetParam().version.majorVersion >= 13 || !std::string_view(file).starts_with("tarn_ntfs."))
            expected += resources + file + "\n";
    expected += (app_ / "Resources").string() + "\n";

    QString result;
    EXPECT_TRUE(screen().copyInstallExecutales(result)) << result.toStdString();
    EXPECT_EQ(readFile(record), expected);
    screen().showInstallationSuccessResult();
    settle();
    EXPECT_EQ(contentClass(), GetParam().screenClass);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, VersionRuleTest,
    testing::Values(VersionCase{{10, 13, 6}, "NoFDARebootViewController", "Install-Executables.sh"},
                    VersionCase{{10, 14, 0}, "GrantPermissionViewController", "Install-Executables.sh"},
                    VersionCase{{12, 99, 99}, "GrantPermissionViewController", "Install-Executables.sh"},
                    VersionCase{{13, 0, 0}, "VenturaQRCodeViewController", "Install-Kext.sh"}),
    [](const auto& p) { return std::to_string(p.param.version.majorVersion) + "_" + std::to_string(p.param.version.minorVersion); });

}  // namespace
}  // namespace ntfs::test
