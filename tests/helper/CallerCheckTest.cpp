#include "FakePolkit.h"
#include "HelperDaemon.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

using namespace ntfs::test;

namespace {

constexpr uid_t nobody = 65534;

enum class Polkit { Absent, SaysNo, SaysYes };

struct CallerCase {
    const char* name;
    std::optional<uid_t> user;
    Polkit polkit;
    bool admitted;
    std::size_t questions;  // how often polkit is asked for three calls on one connection
};

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

class CallerChecks : public ::testing::TestWithParam<CallerCase> {};

}  // namespace

TEST_P(CallerChecks, AdmitOnlyRootOrWhomPolkitAllows)
{
    const auto& c = GetParam();
    HelperDaemonOptions options;
    options.extraPolicy = FakePolkit::policy();
    HelperDaemon daemon(options);
    std::optional<FakePolkit> polkit;
    if (c.polkit != Polkit::Absent)
        polkit.emplace(daemon.bus().address(), c.polkit == Polkit::SaysYes);

    auto [code, output] = daemon.runClient({NTFS_VERSION_CALLER, "3"}, c.user);
    auto lines = linesOf(output);
    ASSERT_EQ(lines.size(), 4u) << output;
    std::string ownName = lines[0].substr(5);
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], c.admitted ? "1.0.5" : "org.freedesktop.DBus.Error.AccessDenied");

    if (!polkit)
        return;
    auto questions = polkit->questions();
    ASSERT_EQ(questions.size(), c.questions);
    for (const auto& question : questions) {
        EXPECT_EQ(question.subjectKind, "system-bus-name");
        EXPECT_EQ(question.subjectName, ownName);
        EXPECT_EQ(question.action, "com.zel.ntfs.HelperTool.use");
        EXPECT_EQ(question.flags, 0u);  // our client does not offer interaction
    }
}

INSTANTIATE_TEST_SUITE_P(
    Callers, CallerChecks,
    ::testing::Values(CallerCase{"RootWithoutPolkit", std::nullopt, Polkit::Absent, true, 0},
                      CallerCase{"RootIsNeverAsked", std::nullopt, Polkit::SaysNo, true, 0},
                      CallerCase{"NobodyWithoutPolkit", nobody, Polkit::Absent, false, 0},
                      CallerCase{"NobodyRefusedAndNotAskedAgainSoon", nobody, Polkit::SaysNo, false, 1},
                      CallerCase{"NobodyAllowedOncePerConnection", nobody, Polkit::SaysYes, true, 1}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(CallerCheck, ARefusedCallLeavesNoTrace)
{
    HelperDaemonOptions options;
    options.extraPolicy = FakePolkit::policy();
    HelperDaemon daemon(options);
    FakePolkit polkit(daemon.bus().address(), false);
    TempDir dir;
    std::ofstream(dir / "disk") << "x";
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);

    // The version call on the same connection is answered only after the link request was handled.
    auto [code, output] = daemon.runClient({NTFS_VERSION_CALLER, "1", (dir / "link").string(), (dir / "disk").string()}, nobody);
    EXPECT_NE(output.find("org.freedesktop.DBus.Error.AccessDenied"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "link")));
}
