#include "RecordingTranslator.h"
#include "ScreenFixture.h"
#include "TestAppServices.h"

#include "VenturaQRCodeViewController.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ntfs::test {
namespace {

struct TextOutlet {
    const char* outlet;
    const char* key;
};

struct ScreenCase {
    const char* identifier;
    std::vector<std::string> colors;  // looked up in this order, before any text
    std::vector<TextOutlet> texts;    // set in this order
    std::vector<std::string> accessibleKeys;  // looked up after the texts
};

const std::vector<ScreenCase> screenCases = {
    {"install",
     {"lightBlue", "lightGrey"},
     {{"pageTitle", "InstallHelperViewController.pageTitle"},
      {"stepLabel", "InstallHelperViewController.stepLabel"},
      {"instructionsLabel", "InstallHelperViewController.instructionsLabel"},
      {"installButton", "InstallHelperViewController.installButton"},
      {"uninstallButton", "InstallHelperViewController.uninstallButton"},
      {"detailsButton", "Progress.details"}},
     {"Accessibility.installButton", "Accessibility.uninstallButton", "Accessibility.helpButton",
      "Accessibility.busyIndicator", "Accessibility.detailsButton", "Accessibility.detailsView"}},
    {"grantFDA",
     {"lightBlue"},
     {{"titleLabel", "GrantPermissionViewController.title"},
      {"stepLabel", "GrantPermissionViewController.stepLabel"},
      {"instructionsLabel", "GrantPermissionViewController.instructionsLabel"},
      {"goButton", "GrantPermissionViewController.quit"}},
     {"Accessibility.helpButton"}},
    {"justReboot",
     {"lightBlue"},
     {{"titleLabel", "NoFDARebootViewController.title"},
      {"stepLabel", "NoFDARebootViewController.stepLabel"},
      {"instructionsLabel", "NoFDARebootViewController.instructionsLabel"},
      {"goButton", "NoFDARebootViewController.quit"}},
     {}},
    {"scanQRCode",
     {},
     {{"pageTitle", "VenturaQRCodeViewController.title"},
      {"stepLabel", "VenturaQRCodeViewController.stepLabel"},
      {"instructionsLabel", "VenturaQRCodeViewController.instructionsLabel"}},
     {"Accessibility.qrCode", "Accessibility.qrCodeDescription"}},
    {"helper",
     {},
     {{"q1", "HelpPopoverViewController.q1"},
      {"a1", "HelpPopoverViewController.a1"},
      {"q2", "HelpPopoverViewController.q2"},
      {"a2", "HelpPopoverViewController.a2"}},
     {}},
};

std::vector<std::string> expectedEvents(const ScreenCase& screen)
{
    std::vector<std::string> events;
    for (const auto& color : screen.colors)
        events.push_back("color:" + color);
    for (const auto& text : screen.texts)
        events.push_back(std::string("text:") + text.key);
    for (const auto& key : screen.accessibleKeys)
        events.push_back("text:" + key);
    return events;
}

class ScreenSetupTest : public ::testing::TestWithParam<ScreenCase> {
protected:
    TestAppServices services;
};

TEST_P(ScreenSetupTest, StylesThenSetsEachKeyIntoItsOutletInOrder)
{
    std::map<std::string, std::string> table;
    for (const auto& text : GetParam().texts)
        table[text.key] = std::string("translated ") + text.key;
    RecordingTranslator translator(services.log, table);
    QCoreApplication::installTranslator(&translator);

    auto screen = makeScreen(QString::fromLatin1(GetParam().identifier));
    ASSERT_TRUE(screen);
    EXPECT_TRUE(services.log.events.empty()) << "set-up ran before the view was asked for";
    QWidget* view = screen->view();

    EXPECT_EQ(services.log.events, expectedEvents(GetParam()));
    for (const auto& text : GetParam().texts)
        EXPECT_EQ(outletText(view, text.outlet), QStringLiteral("translated %1").arg(QString::fromLatin1(text.key)));

    services.log.events.clear();
    screen->view();
    EXPECT_TRUE(services.log.events.empty()) << "set-up ran twice";
}

TEST_P(ScreenSetupTest, WithoutTranslationsEveryOutletShowsItsKey)
{
    auto screen = makeScreen(QString::fromLatin1(GetParam().identifier));
    QWidget* view = screen->view();
    for (const auto& text : GetParam().texts)
        EXPECT_EQ(outletText(view, text.outlet), QString::fromLatin1(text.key));
}

TEST_P(ScreenSetupTest, WithoutColoursTheRestOfTheSetUpStillRuns)
{
    services.colors.setTable({});
    RecordingTranslator translator(services.log);
    QCoreApplication::installTranslator(&translator);

    auto screen = makeScreen(QString::fromLatin1(GetParam().identifier));
    QWidget* view = screen->view();

    EXPECT_EQ(services.log.events, expectedEvents(GetParam()));
    for (const auto& text : GetParam().texts)
        EXPECT_EQ(outletText(view, text.outlet), QString::fromLatin1(text.key));
}

// Screen readers can tell every control that takes focus (or shows progress) by name.
TEST_P(ScreenSetupTest, EveryControlHasAnAccessibleName)
{
    auto screen = makeScreen(QString::fromLatin1(GetParam().identifier));
    for (QWidget* control : screen->view()->findChildren<QWidget*>()) {
        if (control->focusPolicy() == Qt::NoFocus && !qobject_cast<QProgressBar*>(control))
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        ASSERT_TRUE(accessible) << control->objectName().toStdString();
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << control->objectName().toStdString();
    }
}

// The panels are white whatever the desktop's theme, so their texts must not follow a dark palette.
TEST_P(ScreenSetupTest, TextsStayDarkUnderADarkDesktopPalette)
{
    const QPalette previous = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(0x3a, 0x3a, 0x3a), QColor(0x23, 0x23, 0x23)));
    auto screen = makeScreen(QString::fromLatin1(GetParam().identifier));
    for (QWidget* widget : screen->view()->findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) || qobject_cast<QPlainTextEdit*>(widget)) {
            EXPECT_LT(widget->palette().color(widget->foregroundRole()).lightness(), 100) << widget->objectName().toStdString();
        }
    }
    QApplication::setPalette(previous);
}

TEST(QRCodeTest, ImageDescriptionCarriesTheAddress)
{
    TestAppServices services;
    auto screen = makeScreen(QStringLiteral("scanQRCode"));
    auto* image = screen->view()->findChild<QLabel*>(QStringLiteral("qrCodeImage"));
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->accessibleDescription().contains(QLatin1String(VenturaQRCodeViewController::helpAddress)));
}

INSTANTIATE_TEST_SUITE_P(AllScreens, ScreenSetupTest, ::testing::ValuesIn(screenCases),
                         [](const auto& p) { return std::string(p.param.identifier); });

// Looks at the rendered screen: the panel is white, buttons are filled and rounded.
struct ButtonCase {
    const char* identifier;
    const char* button;
    bool primary;
};

class ScreenLookTest : public ::testing::TestWithParam<ButtonCase> {
protected:
    QImage render(ViewController& screen)
    {
        QWidget* view = screen.view();
        view->resize(640, 440);
        view->show();
        QApplication::processEvents();
        return view->grab().toImage();
    }

    // A point inside the button's rounded shape, left of its title, and its outermost corner.
    static std::pair<QPoint, QPoint> fillAndCorner(QWidget* view, const char* name)
    {
        auto* button = view->findChild<QWidget*>(QString::fromLatin1(name));
        QPoint origin = button->mapTo(view, QPoint(0, 0));
        QPoint fill = origin + QPoint(6, button->height() / 2);
        return {fill, origin + QPoint(1, 1)};
    }

    TestAppServices services;
};

TEST_P(ScreenLookTest, ButtonIsFilledWithItsNamedColourAndRounded)
{
    auto screen = makeScreen(QString::fromLatin1(GetParam().identifier));
    QImage image = render(*screen);
    auto [fill, corner] = fillAndCorner(screen->view(), GetParam().button);

    QColor expected = GetParam().primary ? TestAppServices::lightBlue : TestAppServices::lightGrey;
    EXPECT_EQ(image.pixelColor(fill), expected);
    EXPECT_EQ(image.pixelColor(corner), QColor(Qt::white)) << "corner not rounded";
}

TEST_P(ScreenLookTest, ButtonShowsNoFillWithoutItsColour)
{
    services.colors.setTable({});
    auto screen = makeScreen(QString::fromLatin1(GetParam().identifier));
    QImage image = render(*screen);
    auto [fill, corner] = fillAndCorner(screen->view(), GetParam().button);

    EXPECT_EQ(image.pixelColor(fill), QColor(Qt::white));
}

INSTANTIATE_TEST_SUITE_P(StyledButtons, ScreenLookTest,
                         ::testing::Values(ButtonCase{"install", "installButton", true},
                                           ButtonCase{"install", "uninstallButton", false},
                                           ButtonCase{"grantFDA", "goButton", true},
                                           ButtonCase{"justReboot", "goButton", true}),
                         [](const auto& p) {
                             return std::string(p.param.identifier) + "_" + p.param.button;
                         });

TEST(ScreenLookTest, BackgroundPanelIsWhiteOnEveryWindowScreen)
{
    for (const char* identifier : {"install", "grantFDA", "justReboot", "scanQRCode"}) {
        TestAppServices services;
        auto screen = makeScreen(QString::fromLatin1(identifier));
        QWidget* view = screen->view();
        view->resize(640, 440);
        view->show();
        QApplication::processEvents();
        QImage image = view->grab().toImage();
        EXPECT_EQ(image.pixelColor(3, 3), QColor(Qt::white)) << identifier;
        EXPECT_EQ(image.pixelColor(636, 436), QColor(Qt::white)) << identifier;
    }
}

}  // namespace
}  // namespace ntfs::test
