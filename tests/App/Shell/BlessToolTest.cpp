// ntfs-bless-helper against a temporary root: what it installs, how it replaces, what it refuses.
#include "tests/App/Shell/InstallFixture.h"

#include "App/BlessTool/BlessToolStatus.h"
#include "Common/ElfSection.h"
#include "HelperTool/Registration/PropertyList.h"
#include "HelperTool/Registration/RegistrationFiles.h"

#include <fcntl.h>
#include <tuple>
#include <unistd.h>

namespace ntfs::test {
namespace {

// The fixture's NTFS_INSTALL_ROOT reaches the tool.
class BlessToolTest : public InstallFixture {
protected:
    auto bless(const std::string& requested = label) const { return ChildProcess::run({(app_ / "ntfs-bless-helper").string(), requested}); }
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
    std::set<std::string> expected{fs::relative(installed(), root_.path()).string()};
    for (const auto& file : registration->files()) {
        expected.insert(file.path.string());
        EXPECT_EQ(readFile(root_ / file.path), file.content) << file.path;
    }
    EXPECT_EQ(rootFiles(), expected);
}

// Each refusal writes nothing.
TEST_F(BlessToolTest, RefusesForeignOrUnsafeHelpers)
{
    const std::string program = "/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool", jobs = "__launchd_plist";
    const std::vector<std::tuple<std::string, std::string, std::string, int>> cases{  // section, content, requested, status
        {"", "", "com.example.Absent", BlessToolStatus::jobPlistNotFound},
        {"", "", "../LaunchServices/com.zel.ntfs.HelperTool", BlessToolStatus::toolNotValid},
        {jobs, job("com.example.Other"), label, BlessToolStatus::toolNotValid},
        {"__info_plist", R"(<plist version="1.0"><dict><key>CFBundleIdentifier</key><string>com.example.Other</string></dict></plist>)", label,
         BlessToolStatus::toolNotValid},
        {jobs, job(label, "/usr/bin/passwd"), label, BlessToolStatus::toolNotValid},
        {jobs, job(label, program, "../../etc/x"), label, BlessToolStatus::toolNotValid},
        {jobs, "not a property list", label, BlessToolStatus::invalidPlist},
    };
    for (const auto& [section, content, requested, expected] : cases) {
        if (!section.empty())
            carryHelperWithSection(section, content);
        auto [status, output] = bless(requested);
        EXPECT_EQ(status, expected) << section << " " << content << " " << requested << "\n" << output;
        EXPECT_THAT(rootFiles(), testing::IsEmpty());
    }
}

// What another user could have put in the app's place is never installed as root's helper.
TEST_F(BlessToolTest, RefusesAHelperThatOthersCouldHavePlanted)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the bless tool checks who could change the helper only when it runs as root";
    const auto folder = carried().parent_path();
    fs::permissions(folder, fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(bless().first, BlessToolStatus::toolNotValid);
    fs::permissions(folder, fs::perms::others_write, fs::perm_options::remove);
    ASSERT_EQ(chown(carried().c_str(), 65534, 65534), 0);
    EXPECT_EQ(bless().first, BlessToolStatus::toolNotValid);
    fs::rename(carried(), work_ / "helper");
    ASSERT_EQ(chown((work_ / "helper").c_str(), 0, 0), 0);
    fs::create_symlink(work_ / "helper", carried());  // opened without following links
    EXPECT_EQ(bless().first, BlessToolStatus::jobPlistNotFound);
    EXPECT_THAT(rootFiles(), testing::IsEmpty());
}

}  // namespace
}  // namespace ntfs::test
