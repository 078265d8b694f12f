#include "App/Screens/ScreenStyle.h"

#include "App/Shell/ColorCatalog.h"

#include <QAbstractButton>
#include <QPalette>
#include <QPlainTextEdit>
#include <QWidget>

void ScreenStyle::styleBackgroundView(QWidget* view)
{
    if (!view)
        return;
    // Selected by name so that the panel's children keep their own look.
    view->setAttribute(Qt::WA_StyledBackground, true);
    // Before the style sheet: polishing fixes each child's palette as it stands at that moment.
    view->setPalette(panelPalette());
    view->setStyleSheet(QStringLiteral("#%1 { background-color: white; }").arg(view->objectName()));
}

QPalette ScreenStyle::panelPalette()
{
    // Every role derived from a light button and a white window (black text, white base), each set
    // explicitly: only roles set on a widget pass on to its children.
    const QPalette derived(QColor(0xef, 0xf0, 0xf2), QColor(Qt::white));
    QPalette palette;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            auto colorRole = static_cast<QPalette::ColorRole>(role);
            palette.setBrush(group, colorRole, derived.brush(group, colorRole));
        }
    }
    palette.setColor(QPalette::PlaceholderText, QColor(0x6b, 0x70, 0x78));
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x7d, 0xe1));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

void ScreenStyle::styleDetailsView(QPlainTextEdit* view)
{
    if (!view)
        return;
    view->setStyleSheet(QStringLiteral("#%1 { background-color: #f6f7f9; color: #1d1d1f; border: 1px solid #d0d4da; "
                                       "border-radius: 6px; padding: 4px; }")
                            .arg(view->objectName()));
}

void ScreenStyle::stylePrimaryButton(QAbstractButton* button, ColorCatalog& colors)
{
    styleButton(button, colors, primaryColorName);
}

void ScreenStyle::styleSecondaryButton(QAbstractButton* button, ColorCatalog& colors)
{
    styleButton(button, colors, secondaryColorName);
}

void ScreenStyle::styleButton(QAbstractButton* button, ColorCatalog& colors, const char* colorName)
{
    if (!button)
        return;
    std::optional<QColor> color = colors.colorNamed(QString::fromUtf8(colorName));
    QString fill = color ? QStringLiteral("background-color: %1; ").arg(color->name()) : QString();
    // A disabled title stays legible on the light fill (while work runs, for instance).
    button->setStyleSheet(QStringLiteral("#%1 { %2border: none; border-radius: %3px; padding: 6px 24px; } "
                                         "#%1:disabled { color: #6b7078; }")
                              .arg(button->objectName(), fill)
                              .arg(cornerRadius));
}
