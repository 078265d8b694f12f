#include "Localization.h"
#include "ScreenFixture.h"
#include "TestAppServices.h"

#include <QCoreApplication>
#include <QTranslator>

#include <gtest/gtest.h>

namespace ntfs::test {
namespace {

// The keys that no idle screen shows (screens are checked in ScreenSetupTest): the window's title,
// the alerts and the texts of work in progress.
const char* const allKeys[] = {
    "Window.title",          "Alert.OK",              "Installation.failedWithReason", "Installation.failed",
    "Uninstall.failed",      "Uninstall.success",     "Uninstall.cancelled",           "Progress.password",
    "Progress.installing",   "Progress.registering",  "Progress.uninstalling",         "Progress.reloading",
    "Progress.closeQuestion", "Progress.closeExplanation", "Progress.closeAnyway",     "Progress.keepOpen",
};

struct LocaleCase {
    const char* locale;
    const char* restartTitle;  // what "GrantPermissionViewController.quit" reads
};

class LocalizationTest : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LocalizationTest, PicksTheTranslationForTheUsersLocale)
{
    TestAppServices services;
    std::unique_ptr<QTranslator> translator = Localization::translatorForLocale(QLocale(QString::fromLatin1(GetParam().locale)));
    ASSERT_TRUE(translator);
    QCoreApplication::installTranslator(translator.get());

    auto screen = makeScreen(QStringLiteral("grantFDA"));
    EXPECT_EQ(outletText(screen->view(), "goButton"), QString::fromUtf8(GetParam().restartTitle));
}

INSTANTIATE_TEST_SUITE_P(Locales, LocalizationTest,
                         // A regional German finds German; a language without texts falls back to English.
                         ::testing::Values(LocaleCase{"de_CH", "Jetzt neu starten"}, LocaleCase{"fr_FR", "Restart Now"}),
                         [](const auto& p) { return std::string(p.param.locale); });

TEST(TranslationsTest, BothLanguagesHaveATextForEveryAlertKey)
{
    for (const char* locale : {"en", "de"}) {
        auto translator = Localization::translatorForLocale(QLocale(QString::fromLatin1(locale)));
        ASSERT_TRUE(translator) << locale;
        EXPECT_EQ(translator->language(), QString::fromLatin1(locale));
        for (const char* key : allKeys) {
            QString text = translator->translate(Localization::context, key);
            EXPECT_FALSE(text.isEmpty()) << locale << " lacks " << key;
            EXPECT_NE(text, QString::fromLatin1(key)) << locale << " " << key;
        }
        QString reason = translator->translate(Localization::context, "Installation.failedWithReason");
        EXPECT_EQ(reason.count(QStringLiteral("%1")), 1) << locale;
        EXPECT_FALSE(reason.contains(QStringLiteral("%2"))) << locale;
    }
}

TEST(TranslationsTest, AKeyWithoutATranslationStandsForItself)
{
    auto translator = Localization::translatorForLocale(QLocale(QLocale::German));
    QCoreApplication::installTranslator(translator.get());
    EXPECT_EQ(Localization::localizedString("NoSuchScreen.title"), QStringLiteral("NoSuchScreen.title"));
    EXPECT_EQ(Localization::localizedString("Alert.OK"), QStringLiteral("OK"));
}

}  // namespace
}  // namespace ntfs::test
