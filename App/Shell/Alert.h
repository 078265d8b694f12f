#pragma once

#include <QString>

// The values match the platform's alert styles.
enum class AlertStyle { Warning = 0, Informational = 1, Critical = 2 };

// One alert of the app: a single button, a message, an optional informative text.
struct Alert {
    QString buttonTitle;
    QString messageText;
    QString informativeText;
    AlertStyle style = AlertStyle::Warning;
};
