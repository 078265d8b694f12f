#include "GrantPermissionViewController.h"
#include "HelpPopoverViewController.h"
#include "NoFDARebootViewController.h"
#include "Popover.h"
#include "RecordingTranslator.h"
#include "ScreenFixture.h"
#include "TestAppServices.h"
#include "Window.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace ntfs::test {
namespace {

class PopoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QCoreApplication::installTranslator(&translator);
        auto controller = makeScreen(QStringLiteral("grantFDA"));
        screen = static_cast<GrantPermissionViewController*>(controller.get());
        window.setContentViewController(std::move(controller));
        // Room above the help button, so the preferred top edge is used.
        QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        window.setGeometry(QRect(available.center() - QPoint(320, 150), QSize(640, 440)));
        window.show();
        QApplication::processEvents();
        services.log.events.clear();
    }

    void TearDown() override
    {
        for (Popover* popover : window.findChildren<Popover*>())
            popover->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QList<Popover*> openPopovers() const
    {
        QList<Popover*> open;
        for (Popover* popover : window.findChildren<Popover*>())
            if (popover->isVisible())
                open.append(popover);
        return open;
    }

    TestAppServices services;
    RecordingTranslator translator{services.log};
    Window window;
    GrantPermissionViewController* screen = nullptr;
};

TEST_F(PopoverTest, EachPressOpensANewTransientPopoverWithANewHelpScreen)
{
    std::vector<Popover*> seen;
    std::vector<ViewController*> contents;
    for (int press = 1; press <= 2; ++press) {
        services.log.events.clear();
        screen->helperbutton()->click();

        EXPECT_EQ(services.logger.lines().size(), size_t(press));
        EXPECT_EQ(services.logger.lines().back(), "show helper action");
        QList<Popover*> open = openPopovers();
        ASSERT_EQ(open.size(), press);
        Popover* popover = open.last();
        EXPECT_TRUE(popover->windowFlags().testFlag(Qt::Popup));
        auto* help = dynamic_cast<HelpPopoverViewController*>(popover->contentViewController());
        ASSERT_TRUE(help);
        EXPECT_EQ(services.log.events, (std::vector<std::string>{"text:HelpPopoverViewController.q1",
                                                                 "text:HelpPopoverViewController.a1",
                                                                 "text:HelpPopoverViewController.q2",
                                                                 "text:HelpPopoverViewController.a2"}));
        EXPECT_EQ(std::count(seen.begin(), seen.end(), popover), 0);
        EXPECT_EQ(std::count(contents.begin(), contents.end(), help), 0);
        seen.push_back(popover);
        contents.push_back(help);
    }
}

TEST_F(PopoverTest, IsAnchoredOnTheHelpButtonsTopEdge)
{
    screen->helperbutton()->click();
    ASSERT_EQ(openPopovers().size(), 1);
    QRect frame = openPopovers().first()->frameGeometry();
    QWidget* button = screen->helperbutton();
    QRect anchor(button->mapToGlobal(QPoint(0, 0)), button->size());

    EXPECT_EQ(frame.bottom() + 1, anchor.top());
    EXPECT_LE(frame.left(), anchor.center().x());
    EXPECT_GE(frame.right(), anchor.center().x());
}

TEST_F(PopoverTest, StaysOnScreenWhenTheButtonIsNearTheScreensEdge)
{
    QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    window.move(available.topLeft());
    QApplication::processEvents();
    screen->helperbutton()->click();
    ASSERT_EQ(openPopovers().size(), 1);
    EXPECT_TRUE(available.contains(openPopovers().first()->frameGeometry()));
}

TEST_F(PopoverTest, EscapeClosesIt)
{
    screen->helperbutton()->click();
    ASSERT_EQ(openPopovers().size(), 1);
    QPointer<Popover> popover = openPopovers().first();
    QTest::keyClick(popover.data(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(popover.isNull());
}

TEST_F(PopoverTest, AClickOutsideClosesAndReleasesIt)
{
    screen->helperbutton()->click();
    ASSERT_EQ(openPopovers().size(), 1);
    QPointer<Popover> popover = openPopovers().first();
    QPointer<ViewController> help = popover->contentViewController();

    QPoint outside = window.mapFromGlobal(popover->frameGeometry().topRight()) + QPoint(40, 0);
    ASSERT_TRUE(window.rect().contains(outside));
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, outside);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_TRUE(popover.isNull());
    EXPECT_TRUE(help.isNull());
}

TEST(RestartOnlyScreenTest, OffersNoWayToOpenHelp)
{
    TestAppServices services;
    Window window;
    window.setContentViewController(makeScreen(QStringLiteral("justReboot")));
    window.show();
    QApplication::processEvents();

    const QList<QAbstractButton*> buttons = window.findChildren<QAbstractButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons.first()->objectName(), QStringLiteral("goButton"));
    buttons.first()->click();
    EXPECT_TRUE(window.findChildren<Popover*>().isEmpty());
    EXPECT_TRUE(services.logger.lines().empty());
}

}  // namespace
}  // namespace ntfs::test
