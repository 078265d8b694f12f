#pragma once

#include "AppServices.h"
#include "Bundle.h"
#include "EventLog.h"
#include "FixedOSVersionSource.h"
#include "RecordingAlertPresenter.h"
#include "RecordingColorCatalog.h"
#include "RecordingLogger.h"
#include "RecordingProcessExit.h"
#include "RecordingScriptRunner.h"
#include "RecordingServiceManagement.h"

#include <QColor>

namespace ntfs::test {

// Recording doubles for every service the screens reach, installed for the object's life.
class TestAppServices {
public:
    static inline const QColor lightBlue{0x12, 0x34, 0xd6};
    static inline const QColor lightGrey{0x9a, 0x9b, 0x9c};

    TestAppServices() = default;
    TestAppServices(const TestAppServices&) = delete;
    TestAppServices& operator=(const TestAppServices&) = delete;

    EventLog log;
    RecordingLogger logger;
    RecordingColorCatalog colors{log, {{"lightBlue", lightBlue}, {"lightGrey", lightGrey}}};
    RecordingScriptRunner scripts{log};
    RecordingProcessExit exit{log};
    RecordingAlertPresenter alerts;
    FixedOSVersionSource osVersion;
    RecordingServiceManagement serviceManagement;
    Bundle mainBundle{QString()};

private:
    AppServices services_{logger, colors, scripts, exit, alerts, osVersion, serviceManagement, mainBundle};
    AppServicesScope scope_{services_};
};

}  // namespace ntfs::test
