// What the installation screen shows while its flow runs on the worker, and how it tells each
// outcome: alerts, the process's exit, the screen that follows.
#include "tests/App/Shell/InstallFixture.h"

#include "App/Screens/HelpPopoverViewController.h"
#include "App/Screens/InstallHelperViewController.h"
#include "App/Screens/Popover.h"
#include "App/Screens/Window.h"
#include "App/Shell/Localization.h"
#include "Common/UniqueFd.h"
#include "tests/App/Shell/TestAppServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ntfs::test {
namespace {

using Outcome = InstallFlowListener::Outcome;
using Result = Outcome::Result;
using Flow = Outcome::Flow;

// A fifo that a script waits at. Opened read-write, it takes the word before the script has come
// to read it and keeps it until the script does; opened on the way out too, as a waiting script
// would hold up the end.
struct Gate {
    explicit Gate(fs::path at) : path(std::move(at)) { EXPECT_EQ(mkfifo(path.c_str(), 0600), 0); }
    ~Gate() { open(); }
    void open()
    {
        if (!writer)
            writer = UniqueFd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
        if (writer)
            (void)!write(writer.get(), "go\n", 3);
    }
    fs::path path;
    UniqueFd writer;
};

class InstallScreenTest : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        QCoreApplication::installTranslator(translator_.get());
        openInstallScreen();
    }

    void TearDown() override
    {
        window.reset();
        settle();
        QCoreApplication::removeTranslator(translator_.get());
        InstallFixture::TearDown();
    }

    void openInstallScreen()
    {
        window->setContentViewController(makeScreen(services.appServices(), QStringLiteral("install")));
        settle();
        services.log.events.clear();  // the screen's styling
    }

    InstallHelperViewController& screen() const { return dynamic_cast<InstallHelperViewController&>(*window->contentViewController()); }
    std::string contentClass() const { return window->contentViewController()->metaObject()->className(); }
    // Lets the window release a screen it replaced.
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    static QString text(const char* key) { return Localization::localizedString(key); }

    TestAppServices services{appPath()};
    std::unique_ptr<Window> window = std::make_unique<Window>();

private:
    std::unique_ptr<QTranslator> translator_ = Localization::translatorForLocale(QLocale(QLocale::English));
};

TEST_F(InstallScreenTest, EnterInstallsTheStepIsNamedOutputStreamsAndClosingAsksWhileTheScriptRuns)
{
    Gate gate(work_ / "gate");
    window->show();
    writeScript("Install-Kext.sh", "echo 'copying the driver files'\nread go < '" + gate.path.string() + "'\nexit 3\n");
    QSignalSpy finished(&screen(), &InstallHelperViewController::flowFinished);
    QSignalSpy output(screen().detailsView(), &QPlainTextEdit::textChanged);
    QTest::keyClick(screen().helpButton(), Qt::Key_Return);  // Enter that no button takes presses Install
    EXPECT_EQ(screen().progressLabel()->text(), text("Progress.password"));
    EXPECT_FALSE(screen().installButton()->isEnabled() || screen().uninstallButton()->isEnabled());

    ASSERT_TRUE(output.wait(120000)) << "no output while the script runs";
    EXPECT_EQ(screen().detailsView()->toPlainText(), QStringLiteral("copying the driver files"));
    EXPECT_EQ(screen().currentStep(), InstallHelperViewController::Step::Installing);
    EXPECT_EQ(screen().progressLabel()->text(), text("Progress.installing"));

    screen().detailsButton()->click();
    EXPECT_TRUE(screen().detailsView()->isVisible());
    services.alerts.confirmAnswer = false;
    window->close();
    EXPECT_EQ(services.alerts.questions.size(), 1u);
    EXPECT_TRUE(window->isVisible()) << "the window closed although the user chose to keep it";

    gate.open();
    ASSERT_TRUE(finished.wait(120000));
    EXPECT_TRUE(screen().installButton()->isEnabled() && screen().uninstallButton()->isEnabled());
    EXPECT_EQ(screen().currentStep(), InstallHelperViewController::Step::None);
    EXPECT_EQ(services.alerts.alerts.size(), 1u);

    window->close();
    EXPECT_EQ(services.alerts.questions.size(), 1u) << "asked again with nothing running";
    EXPECT_FALSE(window->isVisible());
}

// Each outcome as the screen tells it: its alerts and exit in order, each alert's style and
// informative text, and the screen shown after it. An install's success screen follows the version.
TEST_F(InstallScreenTest, TellsEachOutcome)
{
    struct Case { Outcome outcome; OperatingSystemVersion version; std::vector<std::string> events; AlertStyle style; const char* screenClass; };
    const QString reason = text("Installation.failedWithReason").arg(DomainError::osStatus(-60006).localizedDescription());
    const auto alert = [](const char* key) { return "alert:" + text(key).toStdString(); };
    const std::vector<Case> cases{
        {{Flow::Install, Result::Succeeded}, {10, 13, 6}, {}, {}, "NoFDARebootViewController"},
        {{Flow::Install, Result::Succeeded}, {10, 14, 0}, {}, {}, "GrantPermissionViewController"},
        {{Flow::Install, Result::Succeeded}, {12, 99, 99}, {}, {}, "GrantPermissionViewController"},
        {{Flow::Install, Result::Succeeded}, {13, 0, 0}, {}, {}, "VenturaQRCodeViewController"},
        {{Flow::Install, Result::ScriptFailed, QStringLiteral("the script's result")}, {}, {alert("Installation.failed")}, AlertStyle::Critical, nullptr},
        {{Flow::Install, Result::BlessFailed, {}, DomainError::osStatus(-60006)}, {}, {"alert:" + reason.toStdString()}, AlertStyle::Warning, nullptr},
        {{Flow::Install, Result::BlessFailed}, {}, {alert("Installation.failed")}, AlertStyle::Warning, nullptr},
        {{Flow::Uninstall, Result::Succeeded}, {}, {alert("Uninstall.success")}, AlertStyle::Informational, nullptr},
        {{Flow::Reload, Result::Succeeded}, {}, {alert("Uninstall.success")}, AlertStyle::Informational, nullptr},
        {{Flow::Uninstall, Result::ScriptFailed}, {}, {alert("Uninstall.failed")}, AlertStyle::Warning, nullptr},
        {{Flow::Uninstall, Result::Cancelled}, {}, {alert("Uninstall.cancelled"), "exit:0"}, AlertStyle::Informational, nullptr},
        {{Flow::Reload, Result::Cancelled}, {}, {}, {}, nullptr},
        {{Flow::Uninstall, Result::NotLaunched}, {}, {}, {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases.data()));
        services.osVersion.version = c.version;
        services.alerts.alerts.clear();
        openInstallScreen();
        QSignalSpy finished(&screen(), &InstallHelperViewController::flowFinished);
        static_cast<InstallFlowListener&>(screen()).flowEnded(c.outcome);
        EXPECT_EQ(finished.count(), 1);
        settle();
        std::vector<std::string> told;  // what the outcome made the app do, without the next screen's styling
        std::ranges::copy_if(services.log.events, std::back_inserter(told), [](const auto& event) { return !event.starts_with("color:"); });
        EXPECT_EQ(told, c.events);
        for (const Alert& shown : services.alerts.alerts) {
            EXPECT_EQ(shown.style, c.style);
            EXPECT_EQ(shown.buttonTitle, text("Alert.OK"));
            EXPECT_EQ(shown.informativeText, c.outcome.scriptResult);
        }
        EXPECT_EQ(contentClass(), c.screenClass ? c.screenClass : "InstallHelperViewController");
    }
}

TEST_F(InstallScreenTest, HelpOpensAPopoverThatEscapeCloses)
{
    window->show();
    screen().helpButton()->click();
    QApplication::processEvents();
    EXPECT_THAT(services.logger.lines(), testing::ElementsAre("show helper action"));
    auto popovers = window->findChildren<Popover*>();
    ASSERT_EQ(popovers.size(), 1);
    EXPECT_TRUE(popovers[0]->isVisible() && dynamic_cast<HelpPopoverViewController*>(popovers[0]->contentViewController()));
    QPointer<Popover> popover = popovers[0];
    QTest::keyClick(popover.data(), Qt::Key_Escape);
    settle();
    EXPECT_TRUE(popover.isNull());
}

}  // namespace
}  // namespace ntfs::test
