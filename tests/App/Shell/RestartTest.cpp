#include "tests/App/Shell/TestAppServices.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateBus.h"

#include <QAbstractButton>

#include <gtest/gtest.h>

namespace ntfs::test {
namespace {

class RestartTest : public ::testing::TestWithParam<const char*> {
protected:
    void pressGo()
    {
        makeScreen(services.appServices(), QString::fromLatin1(GetParam()))->view()->findChild<QAbstractButton*>(QStringLiteral("goButton"))->click();
    }

    // The real restart and exit in a child, on a private system bus that a fake logind may own.
    static std::pair<int, std::vector<std::string>> runProbe(const std::string& busEntry)
    {
        ChildProcess probe({RESTART_PROBE, GetParam()}, {{busEntry, "LSAN_OPTIONS=suppressions=" RESTART_PROBE_LSAN_SUPPRESSIONS}, std::nullopt, true});
        std::vector<std::string> lines;  // its own, without whatever else Qt prints
        while (auto line = probe.readLine())
            if (line->starts_with("log: ") || *line == "aboutToQuit")
                lines.push_back(*line);
        return {probe.wait(), lines};
    }

    static std::optional<std::string> lineStartingWith(ChildProcess& child, std::string_view prefix)
    {
        while (auto line = child.readLine())
            if (line->starts_with(prefix))
                return line;
        return std::nullopt;
    }

    static PrivateBusOptions logindPolicy()
    {
        return {PrivateBusOptions::Kind::System, {}, R"(<policy user="root"><allow own="org.freedesktop.login1"/></policy>
  <policy context="default"><allow send_destination="org.freedesktop.login1"/></policy>)"};
    }

    TestAppServices services;
};

TEST_P(RestartTest, AsksForTheRestartThenExitsWithZeroAndLogsAFailureAsItStands)
{
    pressGo();
    EXPECT_EQ(services.log.events, (std::vector<std::string>{"color:lightBlue", "restart", "exit:0"}));
    EXPECT_TRUE(services.logger.lines().empty());

    services.log.events.clear();
    services.restart.failureInfo = QStringLiteral("{ errorName = \"x.Denied\"; errorMessage = \"100% %@ %d\"; }");
    pressGo();
    EXPECT_EQ(services.logger.lines(), std::vector<std::string>{"{ errorName = \"x.Denied\"; errorMessage = \"100% %@ %d\"; }"});
    EXPECT_EQ(services.log.events, (std::vector<std::string>{"color:lightBlue", "restart", "exit:0"}));
}

// Without "aboutToQuit": the real exit ends the app at once, without an orderly termination.
TEST_P(RestartTest, LogindReceivesRebootWithInteractionAndTheAppExitsWithZero)
{
    PrivateBus bus(logindPolicy());
    ChildProcess logind({FAKE_LOGIND}, {{bus.environmentEntry()}, std::nullopt, true});
    ASSERT_EQ(lineStartingWith(logind, "ready"), "ready");

    EXPECT_EQ(runProbe(bus.environmentEntry()), (std::pair<int, std::vector<std::string>>{0, {}}));
    EXPECT_EQ(lineStartingWith(logind, "Reboot"), "Reboot true");
}

TEST_P(RestartTest, WithoutLogindOrBusTheErrorIsLoggedOnceAndTheAppStillExitsWithZero)
{
    PrivateBus bus(logindPolicy());
    TempDir dir;
    for (auto entry : {bus.environmentEntry(), "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (dir / "no_bus").string()}) {
        auto [status, lines] = runProbe(entry);
        EXPECT_EQ(status, 0);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(lines[0].starts_with("log: ") && lines[0].find("org.freedesktop.DBus.Error.") != std::string::npos)
            << lines[0];
    }
}

INSTANTIATE_TEST_SUITE_P(BothRestartScreens, RestartTest, ::testing::Values("grantFDA", "justReboot"));

}  // namespace
}  // namespace ntfs::test
