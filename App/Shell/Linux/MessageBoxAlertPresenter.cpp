#include "App/Shell/Linux/MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon iconFor(AlertStyle style)
{
    switch (style) {
    case AlertStyle::Informational:
        return QMessageBox::Information;
    case AlertStyle::Critical:
        return QMessageBox::Critical;
    case AlertStyle::Warning:
        break;
    }
    return QMessageBox::Warning;
}

void prepare(QMessageBox& box, const Alert& alert)
{
    box.setWindowModality(Qt::ApplicationModal);
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    box.setIcon(iconFor(alert.style));
}

}  // namespace

void MessageBoxAlertPresenter::runModal(const Alert& alert)
{
    QMessageBox box(QApplication::activeWindow());
    box.addButton(alert.buttonTitle, QMessageBox::AcceptRole);
    prepare(box, alert);
    box.exec();
}

bool MessageBoxAlertPresenter::runConfirmation(const Alert& alert, const QString& cancelTitle)
{
    QMessageBox box(QApplication::activeWindow());
    QAbstractButton* confirm = box.addButton(alert.buttonTitle, QMessageBox::AcceptRole);
    // Enter and Escape both keep things as they are.
    QPushButton* cancel = box.addButton(cancelTitle, QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    prepare(box, alert);
    box.exec();
    return box.clickedButton() == confirm;
}
