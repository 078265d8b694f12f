#pragma once

#include "AppWiring.h"
#include "EventLog.h"
#include "FixedOSVersionSource.h"
#include "RecordingAlertPresenter.h"
#include "RecordingColorCatalog.h"
#include "RecordingLogger.h"
#include "RecordingProcessExit.h"
#include "RecordingRestart.h"
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
    RecordingRestart restart{log};
    RecordingProcessExit exit{log};
    RecordingAlertPresenter alerts;
    FixedOSVersionSource osVersion;
    RecordingServiceManagement serviceManagement;

private:
    AppWiring wiring_{{&logger, &colors, &restart, &exit, &alerts, &osVersion, &serviceManagement, QString()}};
};

}  // namespace ntfs::test
