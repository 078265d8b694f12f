#include "FakePolkit.h"
#include "HelperDaemon.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
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

constexpr const char* accessDenied = "org.freedesktop.DBus.Error.AccessDenied";
constexpr const char* limitsExceeded = "org.freedesktop.DBus.Error.LimitsExceeded";

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

// Many calls in flight on several connections: each connection costs one question, every call
// gets its one answer, and those beyond the few that may wait for the check are turned away.
TEST(CallerCheck, CallsInFlightCostOneQuestionPerConnection)
{
    for (bool allowed : {false, true}) {
        SCOPED_TRACE(allowed);
        HelperDaemonOptions options;
        options.extraPolicy = FakePolkit::policy();
        HelperDaemon daemon(options);
        FakePolkit polkit(daemon.bus().address(), allowed);
        auto [code, output] = daemon.runClient({NTFS_FLOOD_CALLER, "3", "40"}, nobody);
        ASSERT_EQ(code, 0) << output;
        std::map<std::string, int> answers;
        for (const auto& line : linesOf(output)) {
            std::istringstream fields(line);
            std::string name;
            int count = 0;
            if (fields >> name >> count)
                answers[name] = count;
        }
        EXPECT_EQ(answers[allowed ? "reply" : accessDenied] + answers[limitsExceeded], 120) << output;
        EXPECT_GT(answers[allowed ? "reply" : accessDenied], 0) << output;
        EXPECT_EQ(polkit.questions().size(), 3u);
    }
}

TEST(CallerCheck, NoReplyMessagesAreServedOrLoggedNeverDroppedSilently)
{
    HelperDaemonOptions options;
    options.captureOutput = true;
    HelperDaemon daemon(options);
    TempDir dir;
    std::ofstream(dir / "disk") << "x";
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);

    // ntfs-helperctl keeps its connection until the helper has taken the message.
    auto [code, output] = daemon.runClient({NTFS_HELPERCTL, "link", (dir / "link").string(), (dir / "disk").string()});
    EXPECT_EQ(code, 0) << output;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));

    // busctl leaves at once: without polkit the helper refuses it or finds it gone, and says so.
    daemon.runClient({"/usr/bin/busctl", "--system", "--expect-reply=no", "call", "com.tarn.mac.utility.store.ntfs.HelperTool",
                      "/com/tarn/mac/utility/store/ntfs/HelperTool", "com.tarn.mac.utility.store.ntfs.HelperToolProtocol",
                      "addLinkPath_forDiskPath_", "ss", (dir / "other").string(), (dir / "disk").string()},
                     nobody);
    std::optional<std::string> line;
    while ((line = daemon.process().readLine()) && line->find("Refused a request") == std::string::npos &&
           line->find("addLinkPath_forDiskPath_ from") == std::string::npos) {
    }
    EXPECT_TRUE(line) << "the message went without a word";
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "other")));
}
