#include "App/Screens/Window.h"
#include "App/Shell/Linux/ResourceColorCatalog.h"
#include "App/Start/AppDelegate.h"
#include "App/Start/ApplicationShell.h"
#include "tests/App/Shell/TestAppServices.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTimer>

#include <fstream>

#include <gtest/gtest.h>

namespace ntfs::test {
namespace {

class QuitTest : public ::testing::TestWithParam<const char*> {};

TEST_P(QuitTest, ClosingTheWindowQuitsTheApp)
{
    TestAppServices services;
    AppDelegate delegate;
    auto& application = *qobject_cast<QApplication*>(QCoreApplication::instance());
    ApplicationShell shell(application, delegate, services.appServices());
    shell.launch();
    shell.window().setContentViewController(makeScreen(services.appServices(), QString::fromLatin1(GetParam())));
    QSignalSpy aboutToQuit(&application, &QCoreApplication::aboutToQuit);
    QTimer::singleShot(0, &shell.window(), [&] { shell.window().close(); });
    // Only keeps a broken quit from hanging the test run.
    QTimer::singleShot(60'000, [] { QCoreApplication::exit(99); });

    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(aboutToQuit.count(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

INSTANTIATE_TEST_SUITE_P(EveryScreen, QuitTest, ::testing::Values("install", "grantFDA", "justReboot", "scanQRCode"));

TEST(ResourceColorCatalogTest, GivesNoColourForWhatItCannotRead)
{
    TempDir dir;
    std::ofstream(dir / "colors.json") << R"({"good": "#102030", "bad": "not a colour", "number": 5})";
    ResourceColorCatalog catalog(QString::fromStdString((dir / "colors.json").string()));
    EXPECT_EQ(catalog.colorNamed(QStringLiteral("good")), QColor(0x10, 0x20, 0x30));
    for (const char* name : {"bad", "number", "absent"})
        EXPECT_FALSE(catalog.colorNamed(QString::fromLatin1(name))) << name;
    EXPECT_FALSE(ResourceColorCatalog(QString::fromStdString((dir / "none.json").string())).colorNamed(QStringLiteral("good")));
}

}  // namespace
}  // namespace ntfs::test
