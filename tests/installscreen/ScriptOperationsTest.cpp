// Uninstall and reload: the scripts' runs and the alerts that report them.
#include "InstallFixture.h"

#include <QAbstractButton>

#include <filesystem>

namespace ntfs::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

struct OutcomeCase {
    const char* name;
    const char* scriptBody;
    std::int32_t consent;  // what the elevator answers; success runs the script
    std::vector<std::string> events;
    std::vector<std::string> logLines;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class ScriptOperationTest : public InstallFixture, public testing::WithParamInterface<OutcomeCase> {
protected:
    // The case's events with each "alert:<key>" turned into the alert's English text.
    static std::vector<std::string> expectedEvents()
    {
        std::vector<std::string> events;
        for (const auto& event : GetParam().events) {
            bool alert = event.rfind("alert:", 0) == 0;
            events.push_back(alert ? "alert:" + text(event.substr(6).c_str()).toStdString() : event);
        }
        return events;
    }

    void prepare(const std::string& scriptName)
    {
        // The marker exists once the script has done its work; alerts look for it.
        auto marker = work_ / "done";
        writeScript(scriptName, "sleep 0.2\necho reloaded\ntouch '" + marker.string() + "'\n" + GetParam().scriptBody);
        if (GetParam().consent != AuthorizationStatus::success)
            elevator->answer("sh", GetParam().consent);
        alerts.onShow = [this, marker] { markerAtAlert.push_back(std::filesystem::exists(marker)); };
    }

    void expectRanShellWithTheScriptAloneInOurDirectory(const std::string& scriptName) const
    {
        ASSERT_EQ(elevator->launches.size(), 1u);
        const auto& launch = elevator->launches[0];
        EXPECT_EQ(launch.program, "/bin/sh");
        EXPECT_THAT(launch.arguments, ElementsAre((app_ / "Resources" / scriptName).string()));
        EXPECT_EQ(launch.workingDirectory, std::filesystem::current_path().string());
    }

    std::vector<bool> markerAtAlert;
};

class UninstallTest : public ScriptOperationTest {};

TEST_P(UninstallTest, ReportsTheScriptsOutcomeOnceItHasRun)
{
    prepare("Uninstall.sh");
    runFlow([this] { screen().uninstallButton()->click(); });

    EXPECT_EQ(log.events, expectedEvents());
    EXPECT_EQ(logLines(), GetParam().logLines);
    for (bool done : markerAtAlert)
        EXPECT_EQ(done, GetParam().consent == AuthorizationStatus::success) << "alert shown before the script ended";
    expectRanShellWithTheScriptAloneInOurDirectory("Uninstall.sh");
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, UninstallTest,
    testing::Values(
        OutcomeCase{"ScriptSucceeds", "exit 0\n", AuthorizationStatus::success,
                    {"alert:Uninstall.success"}, {"Task successfully launched"}},
        OutcomeCase{"ScriptFails", "exit 1\n", AuthorizationStatus::success,
                    {"alert:Uninstall.failed"}, {"Task successfully launched"}},
        OutcomeCase{"ConsentDismissed", "", AuthorizationStatus::canceled,
                    {"alert:Uninstall.cancelled", "exit:0"}, {"User cancelled"}},
        OutcomeCase{"ConsentRefused", "", AuthorizationStatus::denied, {}, {"Something went wrong"}}),
    [](const auto& p) { return std::string(p.param.name); });

using UninstallAlertTest = InstallFixture;

TEST_F(UninstallAlertTest, AreOneButtonedAndStyledByOutcome)
{
    writeScript("Uninstall.sh", "exit 0\n");
    runFlow([this] { screen().uninstallJobAction(nullptr); });
    writeScript("Uninstall.sh", "exit 4\n");
    runFlow([this] { screen().uninstallJobAction(nullptr); });
    elevator->answer("sh", AuthorizationStatus::canceled);
    runFlow([this] { screen().uninstallJobAction(nullptr); });

    ASSERT_EQ(alerts.alerts.size(), 3u);
    EXPECT_EQ(alerts.alerts[0].style, AlertStyle::Informational);
    EXPECT_EQ(alerts.alerts[1].style, AlertStyle::Warning);
    EXPECT_EQ(alerts.alerts[2].style, AlertStyle::Informational);
    for (const Alert& alert : alerts.alerts) {
        EXPECT_EQ(alert.buttonTitle, text("Alert.OK"));
        EXPECT_TRUE(alert.informativeText.isEmpty());
    }
}

class ReloadTest : public ScriptOperationTest {};

TEST_P(ReloadTest, ReportsTheScriptsExitStatus)
{
    prepare("Reload.sh");
    runFlow([this] { screen().reloadJobAction(); });

    EXPECT_EQ(log.events, expectedEvents());
    EXPECT_EQ(logLines(), GetParam().logLines);
    expectRanShellWithTheScriptAloneInOurDirectory("Reload.sh");
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ReloadTest,
    testing::Values(
        OutcomeCase{"ScriptSucceeds", "exit 0\n", AuthorizationStatus::success,
                    {"alert:Uninstall.success"}, {"Task successfully launched: reloaded\n\n"}},
        OutcomeCase{"ScriptFails", "exit 1\n", AuthorizationStatus::success,
                    {"alert:Uninstall.failed"}, {"Task successfully launched: reloaded\n\n"}},
        OutcomeCase{"ConsentDismissed", "", AuthorizationStatus::canceled, {}, {"User cancelled"}},
        OutcomeCase{"ConsentRefused", "", AuthorizationStatus::denied, {}, {"Something went wrong"}}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ntfs::test
