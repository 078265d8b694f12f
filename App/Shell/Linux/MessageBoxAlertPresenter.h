#pragma once

#include "App/Shell/AlertPresenter.h"

class MessageBoxAlertPresenter final : public AlertPresenter {
public:
    void runModal(const Alert& alert) override;
    bool runConfirmation(const Alert& alert, const QString& cancelTitle) override;
};
