#include "AppDelegate.h"
#include "ApplicationShell.h"
#include "GrantPermissionViewController.h"
#include "InstallHelperViewController.h"
#include "ScreenFixture.h"
#include "TestAppServices.h"
#include "VenturaQRCodeViewController.h"
#include "Window.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace ntfs::test {
namespace {

void releaseDeferred()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(WindowTest, ReplacementKeepsTheWindowShowsOnlyTheNewScreenAndReleasesTheOld)
{
    TestAppServices services;
    Window window;
    window.setContentViewController(makeScreen(QStringLiteral("install")));
    window.show();
    QPointer<ViewController> leaving = window.contentViewController();
    QPointer<QWidget> leavingView = leaving->view();

    auto next = makeScreen(QStringLiteral("grantFDA"));
    auto* arriving = static_cast<GrantPermissionViewController*>(next.get());
    window.setContentViewController(std::move(next));

    EXPECT_TRUE(arriving->isViewLoaded());
    EXPECT_EQ(arriving->titleLabel()->text(), QStringLiteral("GrantPermissionViewController.title"));
    EXPECT_EQ(window.contentViewController(), arriving);
    EXPECT_EQ(Window::windowOf(arriving->view()), &window);
    EXPECT_TRUE(arriving->view()->isVisible());
    EXPECT_EQ(window.layout()->count(), 1);

    releaseDeferred();
    EXPECT_TRUE(leaving.isNull());
    EXPECT_TRUE(leavingView.isNull());
    EXPECT_EQ(window.contentViewController(), arriving);
}

// A screen that hands the window to the next screen from its own button, as the install flow does.
class HandingOverController final : public ViewController {
protected:
    void loadView(QWidget& view) override
    {
        button = new QPushButton(QStringLiteral("next"), &view);
        (new QVBoxLayout(&view))->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this] {
            Window::windowOf(button)->setContentViewController(makeScreen(QStringLiteral("scanQRCode")));
        });
    }

public:
    QPushButton* button = nullptr;
};

TEST(WindowTest, AScreenCanHandOverFromItsOwnButton)
{
    TestAppServices services;
    Window window;
    auto leaving = std::make_unique<HandingOverController>();
    auto* leavingRaw = leaving.get();
    window.setContentViewController(std::move(leaving));
    window.resize(400, 300);
    window.show();
    QApplication::processEvents();

    QPointer<ViewController> watch = leavingRaw;
    QTest::mouseClick(leavingRaw->button, Qt::LeftButton);

    EXPECT_TRUE(dynamic_cast<VenturaQRCodeViewController*>(window.contentViewController()));
    releaseDeferred();
    EXPECT_TRUE(watch.isNull());
}

class QuitTest : public ::testing::TestWithParam<const char*> {};

TEST_P(QuitTest, ClosingTheWindowQuitsTheApp)
{
    TestAppServices services;
    AppDelegate delegate;
    auto& application = *qobject_cast<QApplication*>(QCoreApplication::instance());
    ApplicationShell shell(application, delegate);
    shell.launch();
    if (std::string_view(GetParam()) != "install")
        shell.window().setContentViewController(makeScreen(QString::fromLatin1(GetParam())));
    QSignalSpy aboutToQuit(&application, &QCoreApplication::aboutToQuit);

    QTimer::singleShot(0, &shell.window(), [&] { shell.window().close(); });
    // Not a time limit on the app: only keeps a broken quit from hanging the test run.
    QTimer hangGuard;
    hangGuard.setSingleShot(true);
    QObject::connect(&hangGuard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    hangGuard.start(60'000);

    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(aboutToQuit.count(), 1);
    releaseDeferred();
}

INSTANTIATE_TEST_SUITE_P(EveryScreen, QuitTest, ::testing::Values("install", "grantFDA", "justReboot", "scanQRCode"));

}  // namespace
}  // namespace ntfs::test
