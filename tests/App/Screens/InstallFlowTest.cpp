// The flows of the installation screen end to end: the scripts and the bless tool run for real into
// a temporary root; the order of log lines, alerts and screens for each outcome.
#include "tests/App/Screens/InstallFixture.h"

#include "App/Screens/HelpPopoverViewController.h"
#include "App/Screens/Popover.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

namespace ntfs::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class InstallFlowTest : public InstallFixture {
protected:
    void pressInstall() { runFlow([this] { screen().installButton()->click(); }); }
};

TEST_F(InstallFlowTest, ScriptThenBlessThenTheGuidanceScreen)
{
    writeScript("Install-Kext.sh", "echo \"installing $#\"\n");
    pressInstall();
    EXPECT_THAT(services.alerts.alerts, IsEmpty());
    EXPECT_THAT(services.logger.lines(),
                ElementsAre("Install Action: Executing Script", "Script Execution Result:Script ret code: 0, OSStatus code: 0\ninstalling 5\n",
                            "Install Action: Bless Jobs", testing::StartsWith("Bless tool: "), "Job is available!"));
    ASSERT_EQ(elevator->launches.size(), 2u);
    EXPECT_EQ(fs::path(elevator->launches[0].arguments.at(0)).filename(), "Install-Kext.sh");
    EXPECT_THAT(elevator->launches[1].arguments, ElementsAre(label));
    EXPECT_TRUE(fs::is_regular_file(installed()));
    EXPECT_EQ(contentClass(), "VenturaQRCodeViewController");
}

// Each failure shows one alert, stays on the screen, runs nothing after it and installs nothing.
TEST_F(InstallFlowTest, FailuresShowOneAlertAndStop)
{
    const QString failed = text("Installation.failed"), reason = text("Installation.failedWithReason");
    const std::vector<std::tuple<std::function<void()>, AlertStyle, QString, QString, std::size_t>> cases{
        {[&] { writeScript("Install-Kext.sh", "echo 'no room on the disk'\nexit 3\n"); }, AlertStyle::Critical, failed,
         "Script ret code: 3, OSStatus code: 0\nno room on the disk\n", 1},
        {[&] { elevator->answers["sh"] = AuthorizationStatus::canceled; }, AlertStyle::Critical, failed,
         "Script ret code: 0, OSStatus code: -60006\n", 1},
        {[&] { elevator->answers["ntfs-bless-helper"] = AuthorizationStatus::canceled; }, AlertStyle::Warning,
         reason.arg("The operation couldn\u2019t be completed. (OSStatus error -60006.)"), "", 2},
        {[&] { carryHelperWithSection("__launchd_plist", job("com.example.Other")); }, AlertStyle::Warning, reason.arg("The operation couldn\u2019t be completed. (CFErrorDomainLaunchd error 5.)"), "", 2},
        {[&] { fs::remove_all(app_ / "Resources/tarn_ntfs.fs"); }, AlertStyle::Critical, failed, "Missing resources: tarn_ntfs.fs\n", 0},
    };
    for (const auto& [arrange, style, message, informative, launches] : cases) {
        SCOPED_TRACE(message.toStdString() + " " + informative.toStdString());
        writeScript("Install-Kext.sh", "echo \"installing $#\"\n");
        elevator->answers.clear();
        elevator->launches.clear();
        services.alerts.alerts.clear();
        arrange();
        pressInstall();
        ASSERT_EQ(services.alerts.alerts.size(), 1u);
        const Alert& alert = services.alerts.alerts[0];
        EXPECT_EQ(alert.style, style);
        EXPECT_EQ(alert.buttonTitle, text("Alert.OK"));
        EXPECT_EQ(alert.messageText, message);
        EXPECT_EQ(alert.informativeText, informative);
        EXPECT_EQ(elevator->launches.size(), launches);
        EXPECT_EQ(contentClass(), "InstallHelperViewController");
        EXPECT_THAT(rootFiles(), IsEmpty());
    }
}

TEST_F(InstallFlowTest, HelpOpensAPopoverThatEscapeCloses)
{
    window->show();
    screen().helpButton()->click();
    QApplication::processEvents();
    EXPECT_THAT(services.logger.lines(), ElementsAre("show helper action"));
    auto popovers = window->findChildren<Popover*>();
    ASSERT_EQ(popovers.size(), 1);
    EXPECT_TRUE(popovers[0]->isVisible() && dynamic_cast<HelpPopoverViewController*>(popovers[0]->contentViewController()));
    QPointer<Popover> popover = popovers[0];
    QTest::keyClick(popover.data(), Qt::Key_Escape);
    settle();
    EXPECT_TRUE(popover.isNull());
}

// Uninstall and reload: the alert follows the script's exit status, and shows only once it ended.
// consent: what the elevator answers; success runs the script.
struct OutcomeCase {
    const char *name, *script, *body;
    std::int32_t consent;
    std::vector<std::string> events, logLines;
};

class ScriptOutcomeTest : public InstallFixture, public testing::WithParamInterface<OutcomeCase> {};

TEST_P(ScriptOutcomeTest, ReportsTheScriptsOutcomeOnceItHasRun)
{
    const OutcomeCase& c = GetParam();
    auto marker = work_ / "done";
    writeScript(c.script, "sleep 0.2\necho reloaded\ntouch '" + marker.string() + "'\n" + c.body);
    if (c.consent != AuthorizationStatus::success)
        elevator->answers["sh"] = c.consent;
    services.alerts.onShow = [&] { EXPECT_EQ(fs::exists(marker), c.consent == AuthorizationStatus::success) << "alert before the end"; };
    bool uninstall = std::string(c.script) == "Uninstall.sh";
    runFlow([this, uninstall] { uninstall ? screen().uninstallButton()->click() : screen().reloadJobAction(); });
    std::vector<std::string> events;
    for (const auto& event : c.events)
        events.push_back(event.starts_with("alert:") ? "alert:" + text(event.substr(6).c_str()).toStdString() : event);
    EXPECT_EQ(services.log.events, events);
    EXPECT_EQ(services.logger.lines(), c.logLines);
    ASSERT_EQ(elevator->launches.size(), 1u);
    EXPECT_EQ(elevator->launches[0].program, "/bin/sh");
    EXPECT_THAT(elevator->launches[0].arguments, ElementsAre((app_ / "Resources" / c.script).string()));
}

const std::string launchedLine = "Task successfully launched", reloadedLine = "Task successfully launched: reloaded\n\n";
const std::int32_t ok = AuthorizationStatus::success;

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ScriptOutcomeTest,
    testing::Values(OutcomeCase{"UninstallSucceeds", "Uninstall.sh", "exit 0\n", ok, {"alert:Uninstall.success"}, {launchedLine}},
                    OutcomeCase{"UninstallFails", "Uninstall.sh", "exit 1\n", ok, {"alert:Uninstall.failed"}, {launchedLine}},
                    OutcomeCase{"UninstallDismissed", "Uninstall.sh", "", AuthorizationStatus::canceled,
                                {"alert:Uninstall.cancelled", "exit:0"}, {"User cancelled"}},
                    OutcomeCase{"UninstallRefused", "Uninstall.sh", "", AuthorizationStatus::denied, {}, {"Something went wrong"}},
                    OutcomeCase{"ReloadSucceeds", "Reload.sh", "exit 0\n", ok, {"alert:Uninstall.success"}, {reloadedLine}},
                    OutcomeCase{"ReloadFails", "Reload.sh", "exit 1\n", ok, {"alert:Uninstall.failed"}, {reloadedLine}},
                    OutcomeCase{"ReloadDismissed", "Reload.sh", "", AuthorizationStatus::canceled, {}, {"User cancelled"}}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ntfs::test
