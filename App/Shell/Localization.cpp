#include "App/Shell/Localization.h"

#include <QCoreApplication>
#include <QTranslator>

namespace {
constexpr const char* translationsDirectory = ":/Main/Translations";
constexpr const char* translationsName = "HelperApp";
}  // namespace

QString Localization::localizedString(const char* key)
{
    return QCoreApplication::translate(context, key);
}

std::unique_ptr<QTranslator> Localization::translatorForLocale(const QLocale& locale)
{
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(locale, translationsName, "_", translationsDirectory))
        return translator;
    if (translator->load(QLocale(QLocale::English), translationsName, "_", translationsDirectory))
        return translator;
    return nullptr;
}

std::unique_ptr<QTranslator> Localization::installForUserLocale()
{
    auto translator = translatorForLocale(QLocale());
    if (translator)
        QCoreApplication::installTranslator(translator.get());
    return translator;
}
