#include "ScreenStyle.h"

#include "AppServices.h"
#include "ColorCatalog.h"

#include <QAbstractButton>
#include <QWidget>

void ScreenStyle::styleBackgroundView(QWidget* view)
{
    if (!view)
        return;
    // Selected by name so that the panel's children keep their own look.
    view->setAttribute(Qt::WA_StyledBackground, true);
    view->setStyleSheet(QStringLiteral("#%1 { background-color: white; }").arg(view->objectName()));
}

void ScreenStyle::stylePrimaryButton(QAbstractButton* button)
{
    styleButton(button, primaryColorName);
}

void ScreenStyle::styleSecondaryButton(QAbstractButton* button)
{
    styleButton(button, secondaryColorName);
}

void ScreenStyle::styleButton(QAbstractButton* button, const char* colorName)
{
    if (!button)
        return;
    std::optional<QColor> color = AppServices::current().colors.colorNamed(QString::fromUtf8(colorName));
    QString fill = color ? QStringLiteral("background-color: %1; ").arg(color->name()) : QString();
    button->setStyleSheet(QStringLiteral("#%1 { %2border: none; border-radius: %3px; padding: 6px 24px; }")
                              .arg(button->objectName(), fill)
                              .arg(cornerRadius));
}
