#include "ChildProcess.h"
#include "PrivateBus.h"
#include "ScreenFixture.h"
#include "TestAppServices.h"

#include <gtest/gtest.h>

namespace ntfs::test {
namespace {

class RestartActionTest : public ::testing::TestWithParam<const char*> {
protected:
    void pressGo()
    {
        auto screen = makeScreen(QString::fromLatin1(GetParam()));
        screen->view()->findChild<QAbstractButton*>(QStringLiteral("goButton"))->click();
    }

    TestAppServices services;
};

TEST_P(RestartActionTest, AsksForTheRestartThenExitsWithZero)
{
    pressGo();
    EXPECT_EQ(services.log.events, (std::vector<std::string>{"color:lightBlue", "restart", "exit:0"}));
    EXPECT_TRUE(services.logger.lines().empty());
}

TEST_P(RestartActionTest, AFailedRequestIsLoggedOnceAsItStandsAndStillExitsWithZero)
{
    services.restart.succeeds = false;
    services.restart.failureInfo = QStringLiteral("{ errorName = \"x.Denied\"; errorMessage = \"100% %@ %d\"; }");
    pressGo();
    EXPECT_EQ(services.logger.lines(), std::vector<std::string>{"{ errorName = \"x.Denied\"; errorMessage = \"100% %@ %d\"; }"});
    EXPECT_EQ(services.log.events, (std::vector<std::string>{"color:lightBlue", "restart", "exit:0"}));
}

INSTANTIATE_TEST_SUITE_P(BothRestartScreens, RestartActionTest, ::testing::Values("grantFDA", "justReboot"));

// The real thing in a child process: the real restart talks to a logind on a private system
// bus, and the real exit ends the child.
PrivateBusOptions busWithLogindPolicy()
{
    PrivateBusOptions options;
    options.extraPolicy = R"(
  <policy user="root">
    <allow own="org.freedesktop.login1"/>
  </policy>
  <policy context="default">
    <allow send_destination="org.freedesktop.login1"/>
  </policy>
)";
    return options;
}

std::vector<std::string> logLines(const std::string& output)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        std::string line = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.rfind("log: ", 0) == 0)
            lines.push_back(line.substr(5));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

ChildOptions withEnvironment(std::string entry)
{
    ChildOptions options;
    options.environment = {std::move(entry), "LSAN_OPTIONS=suppressions=" RESTART_PROBE_LSAN_SUPPRESSIONS};
    return options;
}

// Skips whatever else the child prints (Qt's own warnings, say).
std::optional<std::string> lineStartingWith(ChildProcess& child, std::string_view prefix)
{
    while (auto line = child.readLine()) {
        if (line->rfind(prefix, 0) == 0)
            return line;
    }
    return std::nullopt;
}

class RestartProcessTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RestartProcessTest, LogindReceivesRebootWithInteractionAndTheAppExitsWithZero)
{
    PrivateBus bus(busWithLogindPolicy());
    ChildProcess logind({FAKE_LOGIND}, withEnvironment(bus.environmentEntry()));
    ASSERT_EQ(lineStartingWith(logind, "ready"), "ready");

    auto [code, output] = ChildProcess::run({RESTART_PROBE, GetParam()}, withEnvironment(bus.environmentEntry()));

    EXPECT_EQ(code, 0) << output;
    EXPECT_TRUE(logLines(output).empty()) << output;
    EXPECT_EQ(output.find("aboutToQuit"), std::string::npos) << "orderly termination ran";
    EXPECT_EQ(lineStartingWith(logind, "Reboot"), "Reboot true");
}

TEST_P(RestartProcessTest, WithoutLogindTheErrorIsLoggedOnceAndTheAppStillExitsWithZero)
{
    PrivateBus bus(busWithLogindPolicy());

    auto [code, output] = ChildProcess::run({RESTART_PROBE, GetParam()}, withEnvironment(bus.environmentEntry()));

    EXPECT_EQ(code, 0) << output;
    std::vector<std::string> lines = logLines(output);
    ASSERT_EQ(lines.size(), 1u) << output;
    EXPECT_NE(lines[0].find("org.freedesktop.DBus.Error.ServiceUnknown"), std::string::npos) << lines[0];
    EXPECT_EQ(output.find("aboutToQuit"), std::string::npos) << "orderly termination ran";
}

TEST_P(RestartProcessTest, WithoutASystemBusTheErrorIsLoggedOnceAndTheAppStillExitsWithZero)
{
    TempDir dir;
    std::string nowhere = "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (dir / "no_bus_socket").string();

    auto [code, output] = ChildProcess::run({RESTART_PROBE, GetParam()}, withEnvironment(nowhere));

    EXPECT_EQ(code, 0) << output;
    std::vector<std::string> lines = logLines(output);
    ASSERT_EQ(lines.size(), 1u) << output;
    EXPECT_NE(lines[0].find("errorName = \"org.freedesktop.DBus.Error."), std::string::npos) << lines[0];
}

INSTANTIATE_TEST_SUITE_P(BothRestartScreens, RestartProcessTest, ::testing::Values("grantFDA", "justReboot"));

}  // namespace
}  // namespace ntfs::test
