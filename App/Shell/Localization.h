#pragma once

#include <QLocale>
#include <QString>

#include <memory>

class QTranslator;

// Every text the user sees is looked up by key in the app's translations, one context, the key as
// source text; a key without a translation stands for itself. Nothing is cached.
class Localization {
public:
    static constexpr const char* context = "Main";

    static QString localizedString(const char* key);

    // The app's translation for the locale's languages, English when none of them is offered.
    static std::unique_ptr<QTranslator> translatorForLocale(const QLocale& locale);
    // Installs the translation for the user's locale into the application; it stays installed
    // while the returned object lives.
    static std::unique_ptr<QTranslator> installForUserLocale();
};
