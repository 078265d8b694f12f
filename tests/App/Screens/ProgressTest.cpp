// What the installation screen shows while a privileged step runs on its worker.
#include "tests/App/Screens/InstallFixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ntfs::test {
namespace {

class ProgressTest : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        ASSERT_EQ(mkfifo(gate_.c_str(), 0600), 0);
        window->show();
    }

    // A script still waiting at the gate would hold up the screen's end, which waits for it.
    void TearDown() override
    {
        int fd = open(gate_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            (void)!write(fd, "go\n", 3);
            close(fd);
        }
        InstallFixture::TearDown();
    }

    bool buttonsEnabled() const { return screen().installButton()->isEnabled() || screen().uninstallButton()->isEnabled(); }
    std::filesystem::path gate_ = work_ / "gate";
};

TEST_F(ProgressTest, EnterInstallsTheStepIsNamedOutputStreamsAndClosingAsksWhileTheScriptRuns)
{
    writeScript("Install-Kext.sh", "echo 'copying the driver files'\nread go < '" + gate_.string() + "'\nexit 3\n");
    QSignalSpy finished(&screen(), &InstallHelperViewController::flowFinished);
    QSignalSpy output(screen().detailsView(), &QPlainTextEdit::textChanged);
    QTest::keyClick(screen().helpButton(), Qt::Key_Return);  // Enter that no button takes presses Install
    EXPECT_EQ(screen().progressLabel()->text(), text("Progress.password"));
    EXPECT_FALSE(buttonsEnabled());

    ASSERT_TRUE(output.wait(120000)) << "no output while the script runs";
    EXPECT_EQ(screen().detailsView()->toPlainText(), QStringLiteral("copying the driver files"));
    EXPECT_EQ(screen().currentStep(), InstallHelperViewController::Step::Installing);
    EXPECT_EQ(screen().progressLabel()->text(), text("Progress.installing"));
    EXPECT_FALSE(buttonsEnabled());

    screen().installAction(nullptr);  // a second press while the work runs is ignored
    screen().uninstallJobAction(nullptr);
    screen().detailsButton()->click();
    EXPECT_TRUE(screen().detailsView()->isVisible());
    services.alerts.confirmAnswer = false;
    window->close();
    EXPECT_EQ(services.alerts.questions.size(), 1u);
    EXPECT_TRUE(window->isVisible()) << "the window closed although the user chose to keep it";

    std::ofstream(gate_) << "go\n";
    ASSERT_TRUE(finished.wait(120000));
    EXPECT_TRUE(screen().installButton()->isEnabled() && screen().uninstallButton()->isEnabled());
    EXPECT_EQ(screen().currentStep(), InstallHelperViewController::Step::None);
    ASSERT_EQ(services.alerts.alerts.size(), 1u);
    EXPECT_EQ(services.alerts.alerts[0].informativeText, QStringLiteral("Script ret code: 3, OSStatus code: 0\ncopying the driver files\n"));

    window->close();
    EXPECT_EQ(services.alerts.questions.size(), 1u) << "asked again with nothing running";
    EXPECT_EQ(elevator->launches.size(), 1u);
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace ntfs::test
