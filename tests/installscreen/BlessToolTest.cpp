// ntfs-bless-helper against a temporary root: what it installs, how it replaces, what it refuses.
#include "InstallFixture.h"

#include "BlessToolStatus.h"
#include "ElfSection.h"
#include "PropertyList.h"
#include "RegistrationFiles.h"

#include <fcntl.h>
#include <tuple>
#include <unistd.h>

namespace ntfs::test {
namespace {

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

// Each refusal writes nothing.
TEST_F(BlessToolTest, RefusesForeignOrUnsafeHelpers)
{
    const std::string program = "/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool", service = "com.tarn.mac.utility.store.ntfs.HelperTool",
                      jobs = "__launchd_plist";
    const std::vector<std::tuple<std::string, std::string, std::string, int>> cases{  // section, content, requested, status
        {"", "", "com.example.Absent", BlessToolStatus::jobPlistNotFound},
        {"", "", "../LaunchServices/com.zel.ntfs.HelperTool", BlessToolStatus::toolNotValid},
        {jobs, job("com.example.Other", program, service), label, BlessToolStatus::toolNotValid},
        {"__info_plist", R"(<plist version="1.0"><dict><key>CFBundleIdentifier</key><string>com.example.Other</string></dict></plist>)", label,
         BlessToolStatus::toolNotValid},
        {jobs, job(label, "/usr/bin/passwd", service), label, BlessToolStatus::toolNotValid},
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

}  // namespace
}  // namespace ntfs::test
