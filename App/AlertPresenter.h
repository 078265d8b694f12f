#pragma once

#include "Alert.h"

// Shows an alert application-modally and returns when the user has dismissed it.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void runModal(const Alert& alert) = 0;
};
