#pragma once

#include "Common/Subprocess.h"
#include "PrivilegedTask/AuthorizationStatus.h"
#include "PrivilegedTask/OutputFileHandle.h"

#include <QMetaObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <utility>

class QTimer;

namespace ntfs {
class Authorization;
class Elevator;
class Logger;
struct ElevatedLaunch;
}  // namespace ntfs

// Runs one command-line tool as root and follows it until it ends, either by waitUntilExit or by
// a check every 50 ms on the event loop of the thread that launched it. A running task is held by
// its status timer until its end is seen, so a caller may let go of it right after the launch.
//
// Tasks only exist in shared ownership: create them with create() ("new"), initWithLaunchPath()
// or launchedPrivilegedTaskWithLaunchPath(). Launch, wait and check on one thread.
//
// Status values of the launches: 0 started (also returned, with nothing started, when the task
// already runs), -60006 the user dismissed the consent prompt, -60005 consent refused or the
// elevator failed, -60031 the tool could not be started, -70001 no way to run tools as root here.
class QVPrivilegedTask final : public std::enable_shared_from_this<QVPrivilegedTask> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    using Pointer = std::shared_ptr<QVPrivilegedTask>;
    using TerminationHandler = std::function<void(const Pointer& task)>;

    static constexpr std::int32_t functionUnavailableStatus = ntfs::AuthorizationStatus::functionUnavailable;
    static constexpr std::int32_t canceledStatus = ntfs::AuthorizationStatus::canceled;
    // terminationStatus after a wait that failed (the tool was no child of ours any more).
    static constexpr int waitFailedStatus = -1;
    static constexpr std::chrono::milliseconds statusCheckInterval{50};
    static constexpr const char* didTerminateNotification = "QVPrivilegedTaskDidTerminateNotification";

    // Class-wide: how tools are run as root (a pkexec elevator by default) and where diagnostics
    // go (the system log by default). Null restores the default.
    static void setElevator(std::shared_ptr<ntfs::Elevator> elevator);
    static void setLogger(std::shared_ptr<ntfs::Logger> logger);
    static bool authorizationFunctionAvailable();

    static Pointer create();
    static Pointer initWithLaunchPath(const QString& launchPath);
    static Pointer initWithLaunchPath(const QString& launchPath, const QStringList& arguments);
    static Pointer initWithLaunchPath(const QString& launchPath, const QStringList& arguments, const QString& currentDirectory);

    // Create, launch, waitUntilExit and return the task, whatever the launch status was.
    static Pointer launchedPrivilegedTaskWithLaunchPath(const QString& launchPath);
    static Pointer launchedPrivilegedTaskWithLaunchPath(const QString& launchPath, const QStringList& arguments);
    static Pointer launchedPrivilegedTaskWithLaunchPath(const QString& launchPath, const QStringList& arguments,
                                                        const QString& currentDirectory);
    static Pointer launchedPrivilegedTaskWithLaunchPath(const QString& launchPath, const QStringList& arguments,
                                                        const QString& currentDirectory,
                                                        const ntfs::Authorization* authorization);

    explicit QVPrivilegedTask(Passkey);
    ~QVPrivilegedTask();
    QVPrivilegedTask(const QVPrivilegedTask&) = delete;
    QVPrivilegedTask& operator=(const QVPrivilegedTask&) = delete;

    // Starts the tool as root (the user is asked for consent meanwhile) and returns at once,
    // without waiting for the tool.
    std::int32_t launch();
    // The same; the caller's authorization (may be null) is accepted and left alone.
    std::int32_t launchWithAuthorization(const ntfs::Authorization* authorization);
    // Blocks until the tool has ended, taking its output into outputFileHandle's buffer meanwhile.
    // Neither the notification nor the termination handler follows.
    void waitUntilExit();
    // One look for the tool's end; the status timer calls it.
    void checkTaskStatus();
    // Has no effect: the tool runs as root and is not ours to signal.
    void terminate();
    // The default description, then the command: launch path, each argument in single quotes
    // (not escaped) and " (CWD:<directory>)".
    QString description() const;
    // "<QVPrivilegedTask: 0x...>"
    QString defaultDescription() const;

    QStringList arguments() const;
    void setArguments(const QStringList& arguments);
    // The process's working directory at creation unless set; null when it could not be read.
    QString currentDirectoryPath() const;
    void setCurrentDirectoryPath(const QString& path);
    QString launchPath() const;
    void setLaunchPath(const QString& path);
    TerminationHandler terminationHandler() const;
    void setTerminationHandler(TerminationHandler handler);
    // The output stream of the latest successful launch, null before the first one.
    std::shared_ptr<ntfs::OutputFileHandle> outputFileHandle() const;

    bool isRunning() const { return isRunning_; }
    pid_t processIdentifier() const { return processIdentifier_; }
    // Exit code of the run last seen to end (0 before that); 128 + the signal number for a tool
    // killed by a signal; waitFailedStatus when the end could not be collected.
    int terminationStatus() const { return terminationStatus_; }

private:
    void log(const std::string& line) const;
    static Pointer launchedAndWaited(const Pointer& task, const std::function<std::int32_t(QVPrivilegedTask&)>& launch);
    void started(ntfs::ElevatedLaunch launched);
    void scheduleStatusTimer();
    void invalidateStatusTimer();
    void drainUntilToolEnds();
    std::optional<int> reap(bool block);
    void ended(int status);
    template <typename Property>
    Property lockedRead(const Property& property) const
    {
        std::lock_guard lock(propertiesMutex_);
        return property;
    }
    template <typename Property>
    void lockedWrite(Property& property, Property value)
    {
        std::lock_guard lock(propertiesMutex_);
        property = std::move(value);
    }

    std::unique_ptr<QTimer> checkStatusTimer_;
    QMetaObject::Connection checkStatusConnection_;
    bool isRunning_ = false;
    pid_t processIdentifier_ = 0;
    std::optional<ntfs::Subprocess> tool_;
    int terminationStatus_ = 0;

    mutable std::mutex propertiesMutex_;
    QStringList arguments_;
    QString currentDirectoryPath_;
    QString launchPath_;
    std::shared_ptr<ntfs::OutputFileHandle> outputFileHandle_;
    TerminationHandler terminationHandler_;
};
