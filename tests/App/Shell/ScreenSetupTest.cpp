#include "App/Screens/VenturaQRCodeViewController.h"
#include "App/Shell/Localization.h"
#include "tests/App/Shell/TestAppServices.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTranslator>

#include <gtest/gtest.h>

namespace ntfs::test {
namespace {

const char* const allScreens[] = {"install", "grantFDA", "justReboot", "scanQRCode", "helper"};

// No control shows a key (looked up under a wrong name or missing from a translation), in either
// language, whether or not the colours could be read; every control has an accessible name.
TEST(ScreenSetupTest, EveryTextIsTranslatedAndEveryControlNamed)
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
                services.colors.table.clear();
            auto screen = makeScreen(services.appServices(), QString::fromLatin1(identifier));
            std::vector<QString> texts;
            for (auto* label : screen->view()->findChildren<QLabel*>())
                texts.push_back(label->text());
            for (auto* button : screen->view()->findChildren<QAbstractButton*>())
                texts.push_back(button->text());
            for (QWidget* control : screen->view()->findChildren<QWidget*>()) {
                if (control->focusPolicy() != Qt::NoFocus || qobject_cast<QProgressBar*>(control)) {
                    texts.push_back(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name));
                    EXPECT_FALSE(texts.back().isEmpty()) << control->objectName().toStdString();
                }
            }
            for (const auto& text : texts)
                EXPECT_FALSE(key.match(text).hasMatch()) << text.toStdString();
            if (auto* qr = screen->view()->findChild<QLabel*>(QStringLiteral("qrCodeImage"))) {
                EXPECT_TRUE(qr->accessibleDescription().contains(QLatin1String(VenturaQRCodeViewController::helpAddress)));
            }
        }
        QCoreApplication::removeTranslator(translator.get());
    }
}

// The texts that no idle screen shows: the alerts and the texts of work in progress.
TEST(ScreenSetupTest, BothLanguagesHaveEveryAlertAndProgressText)
{
    for (const char* locale : {"en", "de"}) {
        auto translator = Localization::translatorForLocale(QLocale(QString::fromLatin1(locale)));
        ASSERT_TRUE(translator) << locale;
        for (const char* key : {"Window.title", "Alert.OK", "Installation.failedWithReason", "Installation.failed",
                                "Uninstall.failed", "Uninstall.success", "Uninstall.cancelled", "Progress.password",
                                "Progress.installing", "Progress.registering", "Progress.uninstalling",
                                "Progress.reloading", "Progress.closeQuestion", "Progress.closeExplanation",
                                "Progress.closeAnyway", "Progress.keepOpen"}) {
            QString text = translator->translate(Localization::context, key);
            EXPECT_FALSE(text.isEmpty() || text == QLatin1String(key)) << locale << " lacks " << key;
        }
    }
}

// A regional German finds German; a language without texts falls back to English.
TEST(ScreenSetupTest, PicksTheTranslationForTheUsersLocale)
{
    for (auto [locale, restartTitle] : {std::pair{"de_CH", "Jetzt neu starten"}, std::pair{"fr_FR", "Restart Now"}}) {
        TestAppServices services;
        auto translator = Localization::translatorForLocale(QLocale(QString::fromLatin1(locale)));
        ASSERT_TRUE(translator);
        QCoreApplication::installTranslator(translator.get());
        auto screen = makeScreen(services.appServices(), QStringLiteral("grantFDA"));
        EXPECT_EQ(screen->view()->findChild<QAbstractButton*>(QStringLiteral("goButton"))->text(),
                  QString::fromUtf8(restartTitle)) << locale;
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
        auto screen = makeScreen(services.appServices(), QString::fromLatin1(identifier));
        for (QWidget* widget : screen->view()->findChildren<QWidget*>()) {
            bool text = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) || qobject_cast<QPlainTextEdit*>(widget);
            EXPECT_TRUE(!text || widget->palette().color(widget->foregroundRole()).lightness() < 100)
                << identifier << " " << widget->objectName().toStdString();
        }
    }
    QApplication::setPalette(previous);
}

// The rendered screen: a white panel, buttons filled with their named colour and rounded.
TEST(ScreenSetupTest, WhitePanelsAndFilledRoundedButtons)
{
    struct Case { const char* identifier; const char* button; QColor fill; };
    for (const Case& c : {Case{"install", "installButton", TestAppServices::lightBlue}, Case{"install", "uninstallButton", TestAppServices::lightGrey},
                          Case{"grantFDA", "goButton", TestAppServices::lightBlue}, Case{"justReboot", "goButton", TestAppServices::lightBlue},
                          Case{"scanQRCode", nullptr, {}}}) {
        SCOPED_TRACE(c.identifier);
        TestAppServices services;
        auto screen = makeScreen(services.appServices(), QString::fromLatin1(c.identifier));
        QWidget* view = screen->view();
        view->resize(640, 440);
        view->show();
        QApplication::processEvents();
        QImage image = view->grab().toImage();
        EXPECT_EQ(image.pixelColor(3, 3), QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(636, 436), QColor(Qt::white));
        if (!c.button)
            continue;
        auto* button = view->findChild<QWidget*>(QString::fromLatin1(c.button));
        QPoint origin = button->mapTo(view, QPoint(0, 0));
        EXPECT_EQ(image.pixelColor(origin + QPoint(6, button->height() / 2)), c.fill);
        EXPECT_EQ(image.pixelColor(origin + QPoint(1, 1)), QColor(Qt::white)) << "corner not rounded";
    }
}

}  // namespace
}  // namespace ntfs::test
