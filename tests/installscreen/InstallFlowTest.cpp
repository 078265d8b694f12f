// The flows of the installation screen end to end: the scripts and the bless tool run for real into
// a temporary root; the order of log lines, alerts and screens for each outcome.
#include "InstallFixture.h"

#include "HelpPopoverViewController.h"
#include "Popover.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

namespace ntfs::test {
namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Not;
using testing::StartsWith;

class InstallFlowTest : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        writeScript("Install-Kext.sh", "echo \"installing $#\"\n");
    }

    void pressInstall() { runFlow([this] { screen().installButton()->click(); }); }

    std::vector<std::string> launched() const
    {
        std::vector<std::string> names;
        for (const auto& launch : elevator->launches)
            names.push_back(fs::path(launch.program).filename().string() + " " + fs::path(launch.arguments.at(0)).filename().string());
        return names;
    }

    void expectOneAlert(AlertStyle style, const QString& message, const QString& informative) const
    {
        ASSERT_EQ(services.alerts.alerts.size(), 1u);
        const Alert& alert = services.alerts.alerts[0];
        EXPECT_EQ(alert.style, style);
        EXPECT_EQ(alert.buttonTitle, text("Alert.OK"));
        EXPECT_EQ(alert.messageText, message);
        EXPECT_EQ(alert.informativeText, informative);
    }
};

TEST_F(InstallFlowTest, ScriptThenBlessThenTheGuidanceScreen)
{
    pressInstall();
    EXPECT_THAT(services.alerts.alerts, IsEmpty());
    EXPECT_THAT(services.logger.lines(),
                ElementsAre("Install Action: Executing Script", "Script Execution Result:Script ret code: 0, OSStatus code: 0\ninstalling 5\n",
                            "Install Action: Bless Jobs", StartsWith("Bless tool: "), "Job is available!"));
    EXPECT_THAT(launched(), ElementsAre("sh Install-Kext.sh", "ntfs-bless-helper com.zel.ntfs.HelperTool"));
    EXPECT_TRUE(fs::is_regular_file(installed()));
    EXPECT_EQ(contentClass(), "VenturaQRCodeViewController");
}

TEST_F(InstallFlowTest, FailingScriptShowsItsResultAndStops)
{
    writeScript("Install-Kext.sh", "echo 'no room on the disk'\nexit 3\n");
    pressInstall();
    expectOneAlert(AlertStyle::Critical, text("Installation.failed"), "Script ret code: 3, OSStatus code: 0\nno room on the disk\n");
    EXPECT_THAT(launched(), ElementsAre("sh Install-Kext.sh"));
    EXPECT_THAT(services.logger.lines(), Not(Contains("Install Action: Bless Jobs")));
    EXPECT_THAT(rootFiles(), IsEmpty());
}

TEST_F(InstallFlowTest, DismissedConsentForTheScriptShowsTheCancellationInTheStatusLine)
{
    elevator->answers["sh"] = AuthorizationStatus::canceled;
    pressInstall();
    expectOneAlert(AlertStyle::Critical, text("Installation.failed"), "Script ret code: 0, OSStatus code: -60006\n");
    EXPECT_THAT(launched(), ElementsAre("sh Install-Kext.sh"));
}

TEST_F(InstallFlowTest, DismissedConsentForTheBlessShowsTheWarningWithItsDescription)
{
    elevator->answers["ntfs-bless-helper"] = AuthorizationStatus::canceled;
    pressInstall();
    expectOneAlert(AlertStyle::Warning,
                   text("Installation.failedWithReason").arg("The operation couldn\u2019t be completed. (OSStatus error -60006.)"), "");
    EXPECT_THAT(services.logger.lines(), Contains("Something went wrong! NSOSStatusErrorDomain / -60006"));
    EXPECT_EQ(contentClass(), "InstallHelperViewController");
    EXPECT_THAT(rootFiles(), IsEmpty());
}

TEST_F(InstallFlowTest, RefusedBlessShowsTheWarningAndInstallsNoHelper)
{
    carryHelperWithSection("__launchd_plist", R"(<plist version="1.0"><dict><key>Label</key><string>com.example.Other</string>
<key>MachServices</key><dict><key>com.tarn.mac.utility.store.ntfs.HelperTool</key><true/></dict>
<key>Program</key><string>/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool</string></dict></plist>)");
    pressInstall();
    expectOneAlert(AlertStyle::Warning,
                   text("Installation.failedWithReason").arg("The operation couldn\u2019t be completed. (CFErrorDomainLaunchd error 5.)"), "");
    EXPECT_THAT(services.logger.lines(), Contains("Something went wrong! CFErrorDomainLaunchd / 5"));
    EXPECT_EQ(contentClass(), "InstallHelperViewController");
    EXPECT_THAT(rootFiles(), IsEmpty());
}

TEST_F(InstallFlowTest, MissingDriverFileStopsBeforeAnyScriptRuns)
{
    fs::remove_all(app_ / "Resources/tarn_ntfs.fs");
    pressInstall();
    expectOneAlert(AlertStyle::Critical, text("Installation.failed"), "Missing resources: tarn_ntfs.fs\n");
    EXPECT_THAT(elevator->launches, IsEmpty());
}

TEST_F(InstallFlowTest, HelpOpensAPopoverThatEscapeCloses)
{
    window->show();
    screen().helpButton()->click();
    QApplication::processEvents();
    EXPECT_THAT(services.logger.lines(), ElementsAre("show helper action"));
    auto popovers = window->findChildren<Popover*>();
    ASSERT_EQ(popovers.size(), 1);
    EXPECT_TRUE(popovers[0]->isVisible());
    EXPECT_TRUE(dynamic_cast<HelpPopoverViewController*>(popovers[0]->contentViewController()));
    QPointer<Popover> popover = popovers[0];
    QTest::keyClick(popover.data(), Qt::Key_Escape);
    settle();
    EXPECT_TRUE(popover.isNull());
}

// Uninstall and reload: the alert follows the script's exit status, and shows only once it ended.
struct OutcomeCase {
    const char* name;
    const char* script;
    const char* body;
    std::int32_t consent;  // what the elevator answers; success runs the script
    std::vector<std::string> events;
    std::vector<std::string> logLines;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class ScriptOutcomeTest : public InstallFixture, public testing::WithParamInterface<OutcomeCase> {};

TEST_P(ScriptOutcomeTest, ReportsTheScriptsOutcomeOnceItHasRun)
{
    const OutcomeCase& c = GetParam();
    auto marker = work_ / "done";
    writeScript(c.script, "sleep 0.2\necho reloaded\ntouch '" + marker.string() + "'\n" + c.body);
    if (c.consent != AuthorizationStatus::success)
        elevator->answers["sh"] = c.consent;
    std::vector<bool> doneAtAlert;
    services.alerts.onShow = [&] { doneAtAlert.push_back(fs::exists(marker)); };
    bool uninstall = std::string(c.script) == "Uninstall.sh";
    runFlow([this, uninstall] { uninstall ? screen().uninstallButton()->click() : screen().reloadJobAction(); });

    std::vector<std::string> events;
    for (const auto& event : c.events)
        events.push_back(event.starts_with("alert:") ? "alert:" + text(event.substr(6).c_str()).toStdString() : event);
    EXPECT_EQ(services.log.events, events);
    EXPECT_EQ(services.logger.lines(), c.logLines);
    for (bool done : doneAtAlert)
        EXPECT_EQ(done, c.consent == AuthorizationStatus::success) << "alert shown before the script ended";
    ASSERT_EQ(elevator->launches.size(), 1u);
    EXPECT_EQ(elevator->launches[0].program, "/bin/sh");
    EXPECT_THAT(elevator->launches[0].arguments, ElementsAre((app_ / "Resources" / c.script).string()));
}

const std::string launchedLine = "Task successfully launched", reloadedLine = "Task successfully launched: reloaded\n\n";

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ScriptOutcomeTest,
    testing::Values(
        OutcomeCase{"UninstallSucceeds", "Uninstall.sh", "exit 0\n", AuthorizationStatus::success, {"alert:Uninstall.success"}, {launchedLine}},
        OutcomeCase{"UninstallFails", "Uninstall.sh", "exit 1\n", AuthorizationStatus::success, {"alert:Uninstall.failed"}, {launchedLine}},
        OutcomeCase{"UninstallDismissed", "Uninstall.sh", "", AuthorizationStatus::canceled,
                    {"alert:Uninstall.cancelled", "exit:0"}, {"User cancelled"}},
        OutcomeCase{"UninstallRefused", "Uninstall.sh", "", AuthorizationStatus::denied, {}, {"Something went wrong"}},
        OutcomeCase{"ReloadSucceeds", "Reload.sh", "exit 0\n", AuthorizationStatus::success, {"alert:Uninstall.success"}, {reloadedLine}},
        OutcomeCase{"ReloadFails", "Reload.sh", "exit 1\n", AuthorizationStatus::success, {"alert:Uninstall.failed"}, {reloadedLine}},
        OutcomeCase{"ReloadDismissed", "Reload.sh", "", AuthorizationStatus::canceled, {}, {"User cancelled"}}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ntfs::test
