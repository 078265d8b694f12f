#pragma once

#include "App/Screens/Storyboard.h"
#include "App/Screens/ViewController.h"
#include "App/Shell/AlertPresenter.h"
#include "App/Shell/ColorCatalog.h"
#include "App/Shell/OSVersionSource.h"
#include "App/Shell/ProcessExit.h"
#include "App/Shell/SystemRestart.h"
#include "App/Start/AppWiring.h"
#include "tests/support/RecordingLogger.h"

#include <QColor>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ntfs::test {

// What the doubles saw, in order: "color:<name>", "restart", "exit:<status>", "alert:<message>".
struct EventLog {
    std::vector<std::string> events;
    void add(std::string event) { events.push_back(std::move(event)); }
};

struct RecordingColorCatalog final : ColorCatalog {
    RecordingColorCatalog(EventLog& events, std::map<QString, QColor> colors) : log(events), table(std::move(colors)) {}
    std::optional<QColor> colorNamed(const QString& name) override
    {
        log.add("color:" + name.toStdString());
        return table.contains(name) ? std::optional(table.at(name)) : std::nullopt;
    }
    EventLog& log;
    std::map<QString, QColor> table;
};

struct RecordingRestart final : SystemRestart {
    explicit RecordingRestart(EventLog& events) : log(events) {}
    bool restart(QString& errorInfo) override { log.add("restart"); errorInfo = failureInfo; return failureInfo.isEmpty(); }
    EventLog& log;
    QString failureInfo;  // empty: the restart succeeds
};

struct RecordingProcessExit final : ProcessExit {
    explicit RecordingProcessExit(EventLog& events) : log(events) {}
    void exitNow(int status) override { log.add("exit:" + std::to_string(status)); }
    EventLog& log;
};

// Records alerts among the other events; questions are answered with confirmAnswer.
struct RecordingAlerts final : AlertPresenter {
    explicit RecordingAlerts(EventLog& events) : log(events) {}
    void runModal(const Alert& alert) override
    {
        alerts.push_back(alert);
        log.add("alert:" + alert.messageText.toStdString());
    }
    bool runConfirmation(const Alert& alert, const QString&) override { questions.push_back(alert); return confirmAnswer; }
    EventLog& log;
    std::vector<Alert> alerts, questions;
    bool confirmAnswer = true;
};

struct FixedOSVersionSource final : OSVersionSource {
    OperatingSystemVersion operatingSystemVersion() const override { return version; }
    OperatingSystemVersion version{13, 0, 0};
};

// Recording doubles for every service the screens reach, wired for the object's life.
class TestAppServices {
public:
    static inline const QColor lightBlue{0x12, 0x34, 0xd6}, lightGrey{0x9a, 0x9b, 0x9c};

    explicit TestAppServices(std::optional<QString> bundle = QString()) : bundle_(std::move(bundle)) {}
    TestAppServices(const TestAppServices&) = delete;
    TestAppServices& operator=(const TestAppServices&) = delete;

    AppServices& appServices() { return wiring_.services(); }

    EventLog log;
    RecordingLogger logger;
    RecordingColorCatalog colors{log, {{"lightBlue", lightBlue}, {"lightGrey", lightGrey}}};
    RecordingRestart restart{log};
    RecordingProcessExit exit{log};
    RecordingAlerts alerts{log};
    FixedOSVersionSource osVersion;

private:
    std::optional<QString> bundle_;
    AppWiring wiring_{{&logger, &colors, &restart, &exit, &alerts, &osVersion, nullptr, bundle_}};
};

// A screen as the storyboard makes it; "install" stands for the initial controller.
inline std::unique_ptr<ViewController> makeScreen(AppServices& services, const QString& identifier)
{
    auto storyboard = Storyboard::storyboardWithName(QStringLiteral("Main"), services);
    return identifier == QLatin1String("install") ? storyboard->instantiateInitialController()
                                                  : storyboard->instantiateControllerWithIdentifier(identifier);
}

}  // namespace ntfs::test
