#include "tests/HelperTool/FakePolkit.h"
#include "tests/HelperTool/HelperDaemon.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

using namespace ntfs::test;
namespace fs = std::filesystem;

namespace {

constexpr uid_t nobody = 65534;
constexpr const char* accessDenied = "org.freedesktop.DBus.Error.AccessDenied";
enum class Polkit { Absent, SaysNo, SaysYes };

// questions: for one link request and three version calls on one connection
struct CallerCase { const char* name; std::optional<uid_t> user; Polkit polkit; bool admitted; std::size_t questions; };

class CallerChecks : public ::testing::TestWithParam<CallerCase> {};

}  // namespace

TEST_P(CallerChecks, AdmitOnlyRootOrWhomPolkitAllows)
{
    const auto& c = GetParam();
    HelperDaemon daemon({NTFS_HELPER_EXECUTABLE, {}, FakePolkit::policy(), false});
    std::optional<FakePolkit> polkit;
    if (c.polkit != Polkit::Absent)
        polkit.emplace(daemon.bus().address(), c.polkit == Polkit::SaysYes);
    TempDir dir;
    std::ofstream(dir / "disk") << "x";
    fs::permissions(dir.path(), fs::perms::all);
    // The version calls are answered only after the link request on the same connection was handled.
    auto [code, output] = daemon.runClient({NTFS_VERSION_CALLER, "3", (dir / "link").string(), (dir / "disk").string()}, c.user);
    std::istringstream lines(output);
    std::string ownName, line;
    lines >> ownName >> ownName;
    for (int i = 0; i < 3; ++i) {
        lines >> line;
        EXPECT_EQ(line, c.admitted ? "1.0.5" : accessDenied) << output;
    }
    EXPECT_EQ(fs::is_symlink(dir / "link"), c.admitted);
    if (!polkit)
        return;
    auto questions = polkit->questions();
    ASSERT_EQ(questions.size(), c.questions);
    for (const auto& q : questions)  // flags 0: our client does not offer interaction
        EXPECT_EQ(std::tie(q.subjectKind, q.subjectName, q.action, q.flags),
                  std::tuple("system-bus-name", ownName, "com.zel.ntfs.HelperTool.use", 0u));
}

INSTANTIATE_TEST_SUITE_P(
    Callers, CallerChecks,
    ::testing::Values(CallerCase{"RootWithoutPolkit", std::nullopt, Polkit::Absent, true, 0},
                      CallerCase{"RootIsNeverAsked", std::nullopt, Polkit::SaysNo, true, 0},
                      CallerCase{"NobodyWithoutPolkit", nobody, Polkit::Absent, false, 0},
                      CallerCase{"NobodyRefusedAndNotAskedAgainSoon", nobody, Polkit::SaysNo, false, 1},
                      CallerCase{"NobodyAllowedOncePerConnection", nobody, Polkit::SaysYes, true, 1}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

// Each connection costs one question, every call gets its one answer, and those beyond the few
// that may wait for the check are turned away.
TEST(CallerCheck, CallsInFlightCostOneQuestionPerConnection)
{
    for (bool allowed : {false, true}) {
        HelperDaemon daemon({NTFS_HELPER_EXECUTABLE, {}, FakePolkit::policy(), false});
        FakePolkit polkit(daemon.bus().address(), allowed);
        auto [code, output] = daemon.runClient({NTFS_FLOOD_CALLER, "3", "40"}, nobody);
        ASSERT_EQ(code, 0) << output;
        std::map<std::string, int> answers;
        std::istringstream fields(output.substr(output.find('\n') + 1));
        for (std::pair<std::string, int> kind; fields >> kind.first >> kind.second;)
            answers.insert(kind);
        auto served = answers[allowed ? "reply" : accessDenied];
        EXPECT_EQ(served + answers["org.freedesktop.DBus.Error.LimitsExceeded"], 120) << output;
        EXPECT_GT(served, 0) << output;
        EXPECT_EQ(polkit.questions().size(), 3u);
    }
}

// busctl leaves at once: without polkit the helper refuses it or finds it gone, and says so.
TEST(CallerCheck, NoReplyMessagesAreLoggedWhenNotServed)
{
    HelperDaemon daemon({NTFS_HELPER_EXECUTABLE, {}, {}, true});
    daemon.runClient({"/usr/bin/busctl", "--system", "--expect-reply=no", "call", "com.tarn.mac.utility.store.ntfs.HelperTool",
                      "/com/tarn/mac/utility/store/ntfs/HelperTool", "com.tarn.mac.utility.store.ntfs.HelperToolProtocol",
                      "addLinkPath_forDiskPath_", "ss", "/nonexistent/link", "/nonexistent/disk"},
                     nobody);
    std::optional<std::string> line;
    while ((line = daemon.process().readLine()) && line->find("Refused a request") == std::string::npos &&
           line->find("addLinkPath_forDiskPath_ from") == std::string::npos) {
    }
    EXPECT_TRUE(line) << "the message went without a word";
}

// A text beyond 64 KiB is refused before its caller is even asked about; one at the limit is served.
TEST(CallerCheck, OverlongArgumentsAreRefusedBeforeTheyWait)
{
    HelperDaemon daemon({NTFS_HELPER_EXECUTABLE, {}, FakePolkit::policy(), false});
    FakePolkit polkit(daemon.bus().address(), false, true);
    for (auto [user, bytes, answer] : {std::tuple{std::optional<uid_t>(nobody), "65537", "org.freedesktop.DBus.Error.InvalidArgs 4"},
                                       std::tuple{std::optional<uid_t>(), "65536", "reply 4"}}) {
        auto [code, output] = daemon.runClient({NTFS_FLOOD_CALLER, "2", "2", bytes, "interactive"}, user);
        EXPECT_NE(output.find(answer), std::string::npos) << output;
    }
    EXPECT_TRUE(polkit.questions().empty());
}

// One user's 32 calls wait at prompts nobody answers: only a few of its callers may hold a
// question, so root's and an administrator's bursts are all served meanwhile (their times are
// bench_helper_flood's). When that user leaves, its questions are withdrawn and its room is free.
TEST(CallerCheck, HeldPromptsLockNoOneOutAndLeaveWithTheirCaller)
{
    constexpr std::size_t questionsPerUser = 4;
    constexpr uid_t administrator = 1000;
    HelperDaemon daemon({NTFS_HELPER_EXECUTABLE, {}, FakePolkit::policy(), false});
    FakePolkit polkit(daemon.bus().address(), true, true);
    auto prompts = std::make_unique<ChildProcess>(std::vector<std::string>{NTFS_FLOOD_CALLER, "32", "1", "16", "interactive"},
                                                  ChildOptions{{daemon.bus().environmentEntry()}, nobody, true});
    ASSERT_TRUE(polkit.waitUntilHolding(questionsPerUser, std::chrono::seconds(10)));
    for (auto [user, calls] : {std::pair{std::optional<uid_t>(), "64"}, std::pair{std::optional<uid_t>(administrator), "16"}}) {
        auto [code, output] = daemon.runClient({NTFS_FLOOD_CALLER, "1", calls, "16"}, user);
        EXPECT_NE(output.find(std::string("reply ") + calls + "\ndone"), std::string::npos) << output;
    }
    prompts.reset();
    EXPECT_TRUE(polkit.waitUntilHolding(0, std::chrono::seconds(10)));
    EXPECT_EQ(polkit.cancelled(), questionsPerUser);
    ChildProcess again({NTFS_FLOOD_CALLER, std::to_string(questionsPerUser), "1", "16", "interactive"},
                       {{daemon.bus().environmentEntry()}, nobody, true});
    EXPECT_TRUE(polkit.waitUntilHolding(questionsPerUser, std::chrono::seconds(10)));
}
