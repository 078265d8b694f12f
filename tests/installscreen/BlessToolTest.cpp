// ntfs-bless-helper against a temporary root: what it installs, how it replaces, what it refuses.
#include "InstallFixture.h"

#include "BlessToolStatus.h"
#include "ElfSection.h"
#include "PropertyList.h"
#include "RegistrationFiles.h"

#include <fcntl.h>
#include <unistd.h>

namespace ntfs::test {
namespace {

using testing::IsEmpty;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class BlessToolTest : public InstallFixture {
protected:
    std::pair<int, std::string> bless(const std::string& requested = label) const
    {
        ChildOptions options;
        options.environment = {"NTFS_INSTALL_ROOT=" + root_.path().string()};
        return ChildProcess::run({(app_ / "ntfs-bless-helper").string(), requested}, options);
    }
};

// An older helper is replaced in one step: a reader of it (a running program, say) keeps it whole,
// and nothing but the helper and its registration files is left, no staging copies.
TEST_F(BlessToolTest, ReplacesTheHelperAtomicallyAndWritesItsRegistrationFiles)
{
    writeFile(installed(), "older helper");
    int older = open(installed().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(older, 0);
    auto [status, output] = bless();
    ASSERT_EQ(status, BlessToolStatus::blessed) << output;

    char buffer[32] = {};
    EXPECT_EQ(pread(older, buffer, sizeof buffer - 1, 0), 12);
    close(older);
    EXPECT_STREQ(buffer, "older helper");
    EXPECT_EQ(readFile(installed()), readFile(NTFS_HELPER));
    EXPECT_EQ(fs::status(installed()).permissions() & fs::perms::all, fs::perms(0755));
    auto registration = RegistrationFiles::fromLaunchdJob(*PropertyList::fromXml(*ElfSection::read(NTFS_HELPER, "__launchd_plist")));
    ASSERT_TRUE(registration);
    std::vector<std::string> expected{fs::relative(installed(), root_.path()).string()};
    for (const auto& file : registration->files()) {
        expected.push_back(file.path.string());
        EXPECT_EQ(readFile(root_ / file.path), file.content) << file.path;
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rootFiles(), expected);
}

std::string job(const std::string& jobLabel, const std::string& program, const std::string& service)
{
    return "<plist version=\"1.0\"><dict><key>Label</key><string>" + jobLabel + "</string><key>MachServices</key><dict><key>" +
           service + "</key><true/></dict><key>Program</key><string>" + program + "</string></dict></plist>";
}

struct RefusalCase {
    const char* name;
    const char* section;  // null: carry the helper as built
    std::string content;
    const char* requested;
    int status;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class BlessToolRefusalTest : public BlessToolTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(BlessToolRefusalTest, WritesNothing)
{
    if (GetParam().section)
        carryHelperWithSection(GetParam().section, GetParam().content);
    auto [status, output] = bless(GetParam().requested);
    EXPECT_EQ(status, GetParam().status) << output;
    EXPECT_THAT(rootFiles(), IsEmpty());
}

const std::string program = "/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool";
const std::string service = "com.tarn.mac.utility.store.ntfs.HelperTool";

INSTANTIATE_TEST_SUITE_P(
    Cases, BlessToolRefusalTest,
    testing::Values(
        RefusalCase{"JobLabelDiffers", "__launchd_plist", job("com.example.Other", program, service), "com.zel.ntfs.HelperTool",
                    BlessToolStatus::toolNotValid},
        RefusalCase{"BundleIdentifierDiffers", "__info_plist",
                    R"(<plist version="1.0"><dict><key>CFBundleIdentifier</key><string>com.example.Other</string></dict></plist>)",
                    "com.zel.ntfs.HelperTool", BlessToolStatus::toolNotValid},
        RefusalCase{"ProgramOutsideTheHelperFolder", "__launchd_plist", job("com.zel.ntfs.HelperTool", "/usr/bin/passwd", service),
                    "com.zel.ntfs.HelperTool", BlessToolStatus::toolNotValid},
        RefusalCase{"ServiceNameClimbsOut", "__launchd_plist", job("com.zel.ntfs.HelperTool", program, "../../etc/x"),
                    "com.zel.ntfs.HelperTool", BlessToolStatus::toolNotValid},
        RefusalCase{"JobDoesNotParse", "__launchd_plist", "not a property list", "com.zel.ntfs.HelperTool", BlessToolStatus::invalidPlist},
        RefusalCase{"NoHelperUnderTheRequestedLabel", nullptr, "", "com.example.Absent", BlessToolStatus::jobPlistNotFound},
        RefusalCase{"RequestedLabelIsAPath", nullptr, "", "../LaunchServices/com.zel.ntfs.HelperTool", BlessToolStatus::toolNotValid}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ntfs::test
