#pragma once

#include "AlertPresenter.h"
#include "EventLog.h"

#include <functional>
#include <vector>

namespace ntfs::test {

// Records alerts, and their place among the other events ("alert:<message>"); runs a probe the
// moment an alert shows, for what must already (or not yet) be true then.
class SequencedAlertPresenter final : public AlertPresenter {
public:
    explicit SequencedAlertPresenter(EventLog& log) : log_(log) {}

    void runModal(const Alert& alert) override
    {
        alerts.push_back(alert);
        log_.add("alert:" + alert.messageText.toStdString());
        if (onShow)
            onShow();
    }

    // Questions are recorded apart from alerts and answered with confirmAnswer.
    bool runConfirmation(const Alert& alert, const QString&) override
    {
        questions.push_back(alert);
        return confirmAnswer;
    }

    std::vector<Alert> alerts;
    std::vector<Alert> questions;
    bool confirmAnswer = true;
    std::function<void()> onShow;

private:
    EventLog& log_;
};

}  // namespace ntfs::test
