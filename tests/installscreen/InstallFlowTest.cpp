// The install sequence through the screen: script step, authorization, bless, outcome.
#include "InstallFixture.h"

#include "HelpPopoverViewController.h"
#include "Popover.h"

#include <QAbstractButton>
#include <QApplication>

#include <algorithm>

namespace ntfs::test {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::StartsWith;

class InstallFlowTest : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        writeScript("Install-Kext.sh", "echo \"installing $#\"\n");
    }

    void pressInstall()
    {
        runFlow([this] { screen().installButton()->click(); });
    }

    std::vector<std::string> programsLaunched() const
    {
        std::vector<std::string> names;
        for (const auto& launch : elevator->launches)
            names.push_back(std::filesystem::path(launch.program).filename().string() +
                            (launch.arguments.empty() ? "" : " " + std::filesystem::path(launch.arguments[0]).filename().string()));
        return names;
    }

    static bool contains(const std::vector<std::string>& lines, const std::string& line)
    {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(InstallFlowTest, ScriptThenBlessThenTheGuidanceScreen)
{
    pressInstall();

    EXPECT_THAT(alerts.alerts, IsEmpty());
    EXPECT_THAT(logLines(), ElementsAre("Install Action: Executing Script",
                                        "Script Execution Result:Script ret code: 0, OSStatus code: 0\ninstalling 5\n",
                                        "Install Action: Bless Jobs", StartsWith("Bless tool: "), "Job is available!"));
    EXPECT_THAT(programsLaunched(), ElementsAre("sh Install-Kext.sh", "ntfs-bless-helper com.zel.ntfs.HelperTool"));
    EXPECT_TRUE(std::filesystem::is_regular_file(installedHelper()));
    EXPECT_EQ(contentClass(), "VenturaQRCodeViewController");
}

TEST_F(InstallFlowTest, FailingScriptShowsTheCriticalAlertWithItsResultAndStops)
{
    writeScript("Install-Kext.sh", "echo 'no room on the disk'\nexit 3\n");
    pressInstall();

    ASSERT_EQ(alerts.alerts.size(), 1u);
    const Alert& alert = alerts.alerts[0];
    EXPECT_EQ(alert.style, AlertStyle::Critical);
    EXPECT_EQ(alert.buttonTitle, text("Alert.OK"));
    EXPECT_EQ(alert.messageText, text("Installation.failed"));
    EXPECT_EQ(alert.informativeText, QStringLiteral("Script ret code: 3, OSStatus code: 0\nno room on the disk\n"));
    EXPECT_EQ(screen()._authRef(), nullptr);
    EXPECT_THAT(programsLaunched(), ElementsAre("sh Install-Kext.sh"));
    EXPECT_FALSE(contains(logLines(), "Install Action: Bless Jobs"));
    EXPECT_THAT(rootFiles(), IsEmpty());
}

TEST_F(InstallFlowTest, DismissedConsentForTheScriptShowsTheCancellationInTheStatusLine)
{
    elevator->answer("sh", AuthorizationStatus::canceled);
    pressInstall();

    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].style, AlertStyle::Critical);
    EXPECT_EQ(alerts.alerts[0].informativeText, QStringLiteral("Script ret code: 0, OSStatus code: -60006\n"));
    EXPECT_EQ(screen()._authRef(), nullptr);
    EXPECT_THAT(programsLaunched(), ElementsAre("sh Install-Kext.sh"));
}

TEST_F(InstallFlowTest, DismissedConsentForTheBlessShowsTheWarningWithItsDescription)
{
    elevator->answer("ntfs-bless-helper", AuthorizationStatus::canceled);
    pressInstall();

    ASSERT_EQ(alerts.alerts.size(), 1u);
    const Alert& alert = alerts.alerts[0];
    EXPECT_EQ(alert.style, AlertStyle::Warning);
    EXPECT_EQ(alert.buttonTitle, text("Alert.OK"));
    EXPECT_EQ(alert.messageText,
              text("Installation.failedWithReason").arg(QStringLiteral("The operation couldn\u2019t be completed. (OSStatus error -60006.)")));
    EXPECT_TRUE(alert.informativeText.isEmpty());
    EXPECT_TRUE(contains(logLines(), "Something went wrong! NSOSStatusErrorDomain / -60006"));
    EXPECT_EQ(contentClass(), "InstallHelperViewController");
    EXPECT_THAT(rootFiles(), IsEmpty());
}

TEST_F(InstallFlowTest, HelperCarryingAnotherLabelIsRefusedWithAWarning)
{
    carryHelperWithSection("__launchd_plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>Label</key><string>com.example.Other</string>
<key>MachServices</key><dict><key>com.tarn.mac.utility.store.ntfs.HelperTool</key><true/></dict>
<key>Program</key><string>/Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool</string>
<key>KeepAlive</key><true/>
</dict></plist>
)");
    pressInstall();

    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].style, AlertStyle::Warning);
    EXPECT_THAT(alerts.alerts[0].messageText.toStdString(), HasSubstr("(CFErrorDomainLaunchd error 5.)"));
    EXPECT_TRUE(contains(logLines(), "Something went wrong! CFErrorDomainLaunchd / 5"));
    EXPECT_EQ(contentClass(), "InstallHelperViewController");
    EXPECT_THAT(rootFiles(), IsEmpty());
}

TEST_F(InstallFlowTest, ASecondPressAfterADismissedBlessInstalls)
{
    elevator->answer("ntfs-bless-helper", AuthorizationStatus::canceled);
    pressInstall();
    EXPECT_NE(screen()._authRef(), nullptr);

    elevator->clearAnswers();
    alerts.alerts.clear();
    pressInstall();

    ASSERT_EQ(elevator->launches.size(), 4u);
    EXPECT_THAT(alerts.alerts, IsEmpty());
    EXPECT_EQ(contentClass(), "VenturaQRCodeViewController");
}

TEST_F(InstallFlowTest, MissingDriverFileStopsBeforeAnyScriptRuns)
{
    std::filesystem::remove_all(app_ / "Resources/tarn_ntfs.fs");
    pressInstall();

    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].style, AlertStyle::Critical);
    EXPECT_EQ(alerts.alerts[0].informativeText, QStringLiteral("Missing resources: tarn_ntfs.fs\n"));
    EXPECT_THAT(elevator->launches, IsEmpty());
}

TEST_F(InstallFlowTest, BlessWithoutAReasonShowsThePlainFailure)
{
    screen().showBlessActionFailedResult(std::nullopt);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].messageText, text("Installation.failed"));
    EXPECT_EQ(alerts.alerts[0].style, AlertStyle::Warning);
}

TEST_F(InstallFlowTest, HelpButtonOpensTheHelpPopover)
{
    window->show();
    screen().helpButton()->click();
    QApplication::processEvents();

    EXPECT_THAT(logLines(), ElementsAre("show helper action"));
    auto popovers = window->findChildren<Popover*>();
    ASSERT_EQ(popovers.size(), 1);
    EXPECT_TRUE(popovers[0]->isVisible());
    EXPECT_TRUE(dynamic_cast<HelpPopoverViewController*>(popovers[0]->contentViewController()));
    popovers[0]->close();
}

}  // namespace
}  // namespace ntfs::test
