#include "MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>

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

}  // namespace

void MessageBoxAlertPresenter::runModal(const Alert& alert)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.addButton(alert.buttonTitle, QMessageBox::AcceptRole);
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    box.setIcon(iconFor(alert.style));
    box.exec();
}
