#pragma once

#include "App/Shell/BackgroundWork.h"
#include "App/Shell/InstallFlowListener.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class Bundle;
class OSVersionSource;
class QVPrivilegedTask;
class ServiceManagement;
namespace ntfs {
class Authorization;
class Logger;
}

// The installation screen's work, without its widgets. Install runs the driver's install script as
// root, then blesses the privileged helper; uninstall and reload run their scripts as root.
//
// The privileged steps (consent prompt, scripts, bless) run on a worker thread, one flow at a time,
// so that the window keeps painting; a flow asked for while one runs is ignored. The listener hears
// of each step, each line of output and the end, on the thread that made the flow.
class InstallFlow {
public:
    static constexpr const char* helperLabel = "com.zel.ntfs.HelperTool";
    // How the flow makes the tasks that run its scripts as root.
    using TaskFactory = std::function<std::shared_ptr<QVPrivilegedTask>()>;

    InstallFlow(const Bundle& bundle, const OSVersionSource& osVersion, ServiceManagement& serviceManagement,
                ntfs::Logger& logger, TaskFactory createTask, InstallFlowListener& listener);
    ~InstallFlow();
    InstallFlow(const InstallFlow&) = delete;
    InstallFlow& operator=(const InstallFlow&) = delete;

    bool isBusy() const { return work_.isBusy(); }
    void install();
    void uninstall();
    void reload();

    // The authorization of the latest install that got past its script step (null before one
    // did). It stays until the next such install replaces it or the flow goes, and the script
    // step of a later install runs under it.
    const ntfs::Authorization* _authRef() const { return authRef_.get(); }
    void set_authRef(std::unique_ptr<ntfs::Authorization> authorization);

    // Both block; the flows run them on the worker.
    // Fills error (when given) on failure, where the failure has one.
    bool blessHelperWithLabel(const QString& label, std::optional<DomainError>* error);
    // Runs the install script; always fills scriptResult with the status line and the output.
    bool copyInstallExecutales(QString& scriptResult);

private:
    using Step = InstallFlowListener::Step;
    using Outcome = InstallFlowListener::Outcome;
    struct Job;

    struct Script {
        QString path;  // null: the app lacks it, and nothing is launched
        QStringList arguments;
        QString folder;  // null: the app's working directory
        Step running;
        // Reload has always waited for a task that did not start, which the task runner logs.
        bool waitWhenNotStarted = false;
    };

    struct ScriptRun {
        std::int32_t launchStatus = 0;
        int exitStatus = 0;
        QByteArray output;
    };

    void blessAfterScript();
    void runJob(const Job& job);
    Outcome::Result jobResult(const Job& job, const ScriptRun& run);
    // On the worker: launches (the consent prompt), then streams the output until it ends and
    // waits for the tool.
    ScriptRun runScript(const Script& script, const ntfs::Authorization* authorization);
    QByteArray streamOutput(QVPrivilegedTask& task);
    void log(const std::string& line);

    const Bundle& bundle_;
    const OSVersionSource& osVersion_;
    ServiceManagement& serviceManagement_;
    ntfs::Logger& logger_;
    TaskFactory createTask_;
    InstallFlowListener& listener_;
    std::unique_ptr<ntfs::Authorization> authRef_;
    // Last, so that it is joined before the fields its work uses go.
    BackgroundWork work_;
};
