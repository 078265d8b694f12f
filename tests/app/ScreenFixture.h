#pragma once

#include "Storyboard.h"
#include "ViewController.h"

#include <QAbstractButton>
#include <QLabel>
#include <QString>

#include <memory>

namespace ntfs::test {

// A screen as the storyboard makes it; "install" stands for the initial controller.
inline std::unique_ptr<ViewController> makeScreen(const QString& identifier)
{
    auto storyboard = Storyboard::storyboardWithName(QStringLiteral("Main"));
    if (identifier == QLatin1String("install"))
        return storyboard->instantiateInitialController();
    return storyboard->instantiateControllerWithIdentifier(identifier);
}

// The text an outlet shows: a label's string value or a button's title.
inline QString outletText(QWidget* view, const char* outlet)
{
    QWidget* widget = view->findChild<QWidget*>(QString::fromLatin1(outlet));
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    return QStringLiteral("<no outlet %1>").arg(QString::fromLatin1(outlet));
}

}  // namespace ntfs::test
