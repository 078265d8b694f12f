#include "Localization.h"
#include "ScreenFixture.h"
#include "TestAppServices.h"
#include "VenturaQRCodeViewController.h"

#include <QAccessible>
#include <QPlainTextEdit>
#include <QProgressBar>

#include <QApplication>
#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QTranslator>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ntfs::test {
namespace {

const char* const allScreens[] = {"install", "grantFDA", "justReboot", "scanQRCode", "helper"};

// Every label and button of every screen, in both languages: none shows a key (a key looked up
// under a wrong name, or missing from a translation), whether or not the colours could be read.
TEST(ScreenSetupTest, EveryTextIsTranslatedEvenWithoutColours)
{
    const QRegularExpression key(QStringLiteral("^\\w+\\.\\w+$"));
    for (auto [language, colours] : {std::pair{QLocale::English, true}, std::pair{QLocale::German, false}}) {
        auto translator = Localization::translatorForLocale(QLocale(language));
        ASSERT_TRUE(translator);
        QCoreApplication::installTranslator(translator.get());
        for (const char* identifier : allScreens) {
            SCOPED_TRACE(identifier + QLocale::languageToCode(language).toStdString());
            TestAppServices services;
            if (!colours)
                services.colors.setTable({});
            auto screen = makeScreen(QString::fromLatin1(identifier));
            std::vector<std::pair<QString, QString>> texts;  // outlet, text
            for (auto* label : screen->view()->findChildren<QLabel*>())
                texts.emplace_back(label->objectName(), label->text());
            for (auto* button : screen->view()->findChildren<QAbstractButton*>())
                texts.emplace_back(button->objectName(), button->text());
            EXPECT_GT(std::count_if(texts.begin(), texts.end(), [](auto& t) { return !t.second.isEmpty(); }), 2);
            for (QWidget* control : screen->view()->findChildren<QWidget*>()) {
                if (control->focusPolicy() == Qt::NoFocus && !qobject_cast<QProgressBar*>(control))
                    continue;
                QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
                ASSERT_TRUE(accessible) << control->objectName().toStdString();
                texts.emplace_back(control->objectName() + QStringLiteral(" (accessible name)"),
                                   accessible->text(QAccessible::Name));
                EXPECT_FALSE(texts.back().second.isEmpty()) << texts.back().first.toStdString();
            }
            for (const auto& [outlet, text] : texts)
                EXPECT_FALSE(key.match(text).hasMatch()) << outlet.toStdString() << ": " << text.toStdString();
        }
        QCoreApplication::removeTranslator(translator.get());
    }
}

// The panels are white whatever the desktop's theme, so their texts must not follow a dark palette.
TEST(ScreenSetupTest, TextsStayDarkUnderADarkDesktopPalette)
{
    const QPalette previous = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(0x3a, 0x3a, 0x3a), QColor(0x23, 0x23, 0x23)));
    for (const char* identifier : allScreens) {
        TestAppServices services;
        auto screen = makeScreen(QString::fromLatin1(identifier));
        for (QWidget* widget : screen->view()->findChildren<QWidget*>()) {
            if (qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) ||
                qobject_cast<QPlainTextEdit*>(widget)) {
                EXPECT_LT(widget->palette().color(widget->foregroundRole()).lightness(), 100)
                    << identifier << " " << widget->objectName().toStdString();
            }
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
    for (const char* identifier : allScreens) {
        if (std::string_view(identifier) == "helper")
            continue;  // shown in the popover, not in the window
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
