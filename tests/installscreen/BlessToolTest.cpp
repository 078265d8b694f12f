// ntfs-bless-helper against a temporary root: what it installs, how it replaces, what it refuses.
#include "BlessToolStatus.h"
#include "ChildProcess.h"
#include "ElfSection.h"
#include "PropertyList.h"
#include "RegistrationFiles.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace ntfs::test {
namespace {

namespace fs = std::filesystem;
using testing::IsEmpty;

constexpr const char* label = "com.zel.ntfs.HelperTool";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> filesBelow(const fs::path& root)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_directory())
            files.push_back(fs::relative(entry.path(), root).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A copy of the tool in an app folder of its own, carrying a helper the test chooses.
class BlessToolTest : public testing::Test {
protected:
    void SetUp() override
    {
        fs::copy_file(NTFS_BLESS_TOOL, app_ / "ntfs-bless-helper");
        fs::create_directories(carried().parent_path());
        fs::copy_file(NTFS_HELPER, carried());
    }

    fs::path carried() const { return app_ / "Library/LaunchServices" / label; }
    fs::path installed() const { return root_ / "Library/PrivilegedHelperTools" / label; }

    std::pair<int, std::string> bless(const std::string& requested = label) const
    {
        ChildOptions options;
        options.environment = {"NTFS_INSTALL_ROOT=" + root_.path().string()};
        return ChildProcess::run({(app_ / "ntfs-bless-helper").string(), requested}, options);
    }

    // The carried helper becomes the built one with an embedded section replaced.
    void replaceSection(const std::string& section, const std::string& content) const
    {
        auto replacement = work_ / "section.plist";
        std::ofstream(replacement) << content;
        fs::remove(carried());
        auto [status, output] = ChildProcess::run(
            {"/usr/bin/objcopy", "--update-section", section + "=" + replacement.string(), NTFS_HELPER, carried().string()});
        ASSERT_EQ(status, 0) << output;
    }

    TempDir app_;
    TempDir root_;
    TempDir work_;
};

TEST_F(BlessToolTest, InstallsTheHelperExecutableAndItsFourRegistrationFiles)
{
    auto [status, output] = bless();
    ASSERT_EQ(status, BlessToolStatus::blessed) << output;

    EXPECT_EQ(readFile(installed()), readFile(NTFS_HELPER));
    struct stat info {};
    ASSERT_EQ(stat(installed().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);

    auto job = PropertyList::fromXml(*ElfSection::read(NTFS_HELPER, "__launchd_plist"));
    auto registration = RegistrationFiles::fromLaunchdJob(*job);
    ASSERT_TRUE(registration);
    std::vector<std::string> expected{"Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool"};
    for (const auto& file : registration->files()) {
        expected.push_back(file.path.string());
        EXPECT_EQ(readFile(root_ / file.path), file.content) << file.path;
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesBelow(root_.path()), expected) << "four registration files, no staging leftovers";
}

TEST_F(BlessToolTest, ReplacesAnOlderHelperInOneStep)
{
    fs::create_directories(installed().parent_path());
    std::ofstream(installed()) << "older helper";
    // A reader of the older helper (a running program, say) keeps it whole.
    int older = open(installed().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(older, 0);

    auto [status, output] = bless();
    ASSERT_EQ(status, BlessToolStatus::blessed) << output;

    char buffer[32] = {};
    EXPECT_EQ(pread(older, buffer, sizeof buffer - 1, 0), 12);
    EXPECT_STREQ(buffer, "older helper");
    close(older);
    EXPECT_EQ(readFile(installed()), readFile(NTFS_HELPER));
    EXPECT_EQ(fs::status(installed()).permissions() & fs::perms::all, fs::perms(0755));
    std::vector<std::string> inFolder;
    for (const auto& entry : fs::directory_iterator(installed().parent_path()))
        inFolder.push_back(entry.path().filename().string());
    EXPECT_EQ(inFolder, std::vector<std::string>{label});
}

const char* const goodJob = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>Label</key><string>%LABEL%</string>
<key>MachServices</key><dict><key>%SERVICE%</key><true/></dict>
<key>Program</key><string>%PROGRAM%</string>
<key>KeepAlive</key><true/>
</dict></plist>
)";

std::string job(const std::string& jobLabel, const std::string& program, const std::string& service)
{
    std::string text = goodJob;
    for (auto [key, value] : {std::pair<std::string, std::string>{"%LABEL%", jobLabel}, {"%PROGRAM%", program},
                              {"%SERVICE%", service}})
        text.replace(text.find(key), key.size(), value);
    return text;
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
        replaceSection(GetParam().section, GetParam().content);
    auto [status, output] = bless(GetParam().requested);
    EXPECT_EQ(status, GetParam().status) << output;
    EXPECT_THAT(filesBelow(root_.path()), IsEmpty());
}

const std::string program = "/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool";
const std::string service = "com.tarn.mac.utility.store.ntfs.HelperTool";

INSTANTIATE_TEST_SUITE_P(
    Cases, BlessToolRefusalTest,
    testing::Values(
        RefusalCase{"JobLabelDiffers", "__launchd_plist", job("com.example.Other", program, service), label,
                    BlessToolStatus::toolNotValid},
        RefusalCase{"BundleIdentifierDiffers", "__info_plist",
                    R"(<plist version="1.0"><dict><key>CFBundleIdentifier</key><string>com.example.Other</string></dict></plist>)",
                    label, BlessToolStatus::toolNotValid},
        RefusalCase{"ProgramOutsideTheHelperFolder", "__launchd_plist", job(label, "/usr/bin/passwd", service), label,
                    BlessToolStatus::toolNotValid},
        RefusalCase{"ServiceNameClimbsOut", "__launchd_plist", job(label, program, "../../etc/x"), label,
                    BlessToolStatus::toolNotValid},
        RefusalCase{"JobDoesNotParse", "__launchd_plist", "not a property list", label, BlessToolStatus::invalidPlist},
        RefusalCase{"JobLacksItsProgram", "__launchd_plist",
                    R"(<plist version="1.0"><dict><key>Label</key><string>com.zel.ntfs.HelperTool</string></dict></plist>)",
                    label, BlessToolStatus::invalidPlist},
        RefusalCase{"NoHelperUnderTheRequestedLabel", nullptr, "", "com.example.Absent", BlessToolStatus::jobPlistNotFound},
        RefusalCase{"RequestedLabelIsAPath", nullptr, "", "../LaunchServices/com.zel.ntfs.HelperTool",
                    BlessToolStatus::toolNotValid}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ntfs::test
