#pragma once

#include "AlertPresenter.h"

#include <vector>

namespace ntfs::test {

class RecordingAlertPresenter final : public AlertPresenter {
public:
    void runModal(const Alert& alert) override { alerts.push_back(alert); }

    std::vector<Alert> alerts;
};

}  // namespace ntfs::test
