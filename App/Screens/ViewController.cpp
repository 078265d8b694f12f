#include "App/Screens/ViewController.h"

#include "App/Shell/Localization.h"

#include <QAbstractButton>
#include <QLabel>

ViewController::~ViewController()
{
    delete view_.data();
}

QWidget* ViewController::view()
{
    if (view_.isNull()) {
        view_ = new QWidget;
        loadView(*view_);
        viewDidLoad();
    }
    return view_.data();
}

void ViewController::setStringValue(QLabel* label, const char* key)
{
    QString text = Localization::localizedString(key);
    if (label)
        label->setText(text);
}

void ViewController::setTitle(QAbstractButton* button, const char* key)
{
    QString text = Localization::localizedString(key);
    if (button)
        button->setText(text);
}

void ViewController::setAccessibleText(QWidget* widget, const char* nameKey, const char* descriptionKey)
{
    if (!widget)
        return;
    if (nameKey)
        widget->setAccessibleName(Localization::localizedString(nameKey));
    if (descriptionKey)
        widget->setAccessibleDescription(Localization::localizedString(descriptionKey));
}
