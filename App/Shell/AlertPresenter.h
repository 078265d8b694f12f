#pragma once

#include "App/Shell/Alert.h"

// Shows an alert application-modally and returns when the user has dismissed it.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void runModal(const Alert& alert) = 0;
    // The same with a second button titled cancelTitle; true when the alert's own button was
    // chosen. Presenters that cannot ask show the alert and take its button.
    virtual bool runConfirmation(const Alert& alert, const QString& cancelTitle)
    {
        (void)cancelTitle;
        runModal(alert);
        return true;
    }
};
