#include "PrivilegedTask/QVPrivilegedTask.h"

#include "Common/Linux/SyslogLogger.h"
#include "Common/LogFormat.h"
#include "Common/Logger.h"
#include "PrivilegedTask/Elevator.h"
#include "PrivilegedTask/NotificationCenter.h"

#include <QFile>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <filesystem>
#include <system_error>

using ntfs::AuthorizationStatus::success;

namespace {

// Class-wide collaborators, looked up once and shared by every task.
struct ClassState {
    std::mutex mutex;
    std::shared_ptr<ntfs::Elevator> elevator;
    std::shared_ptr<ntfs::Logger> logger;
};

ClassState& classState()
{
    static ClassState state;
    return state;
}

// The collaborator in `slot`, made by `makeDefault` when none is set.
template <typename Collaborator, typename MakeDefault>
std::shared_ptr<Collaborator> current(std::shared_ptr<Collaborator> ClassState::*slot, MakeDefault makeDefault)
{
    auto& state = classState();
    std::lock_guard lock(state.mutex);
    if (!(state.*slot))
        state.*slot = makeDefault();
    return state.*slot;
}

template <typename Collaborator>
void replace(std::shared_ptr<Collaborator> ClassState::*slot, std::shared_ptr<Collaborator> collaborator)
{
    auto& state = classState();
    std::lock_guard lock(state.mutex);
    state.*slot = std::move(collaborator);
}

std::shared_ptr<ntfs::Elevator> currentElevator()
{
    return current(&ClassState::elevator, [] { return ntfs::systemElevator(); });
}

std::shared_ptr<ntfs::Logger> currentLogger()
{
    return current(&ClassState::logger, [] { return std::make_shared<ntfs::SyslogLogger>(program_invocation_short_name); });
}

std::string fileSystemRepresentation(const QString& text) { return QFile::encodeName(text).toStdString(); }

QString orNull(const QString& text) { return text.isNull() ? QStringLiteral("(null)") : text; }

constexpr std::size_t readChunk = 65536;
// What one status check takes off the stream, so that a tool nobody reads cannot fill it and stall.
constexpr std::size_t readPerCheck = 1024 * 1024;

const char* const unavailableMessage = "AuthorizationExecuteWithPrivileges() function not available on this system";

}  // namespace

void QVPrivilegedTask::setElevator(std::shared_ptr<ntfs::Elevator> elevator) { replace(&ClassState::elevator, std::move(elevator)); }

void QVPrivilegedTask::setLogger(std::shared_ptr<ntfs::Logger> logger) { replace(&ClassState::logger, std::move(logger)); }

bool QVPrivilegedTask::authorizationFunctionAvailable() { return currentElevator()->available(); }

QVPrivilegedTask::QVPrivilegedTask(Passkey)
{
    std::error_code error;
    auto directory = std::filesystem::current_path(error);
    if (!error)
        currentDirectoryPath_ = QFile::decodeName(directory.c_str());
}

QVPrivilegedTask::~QVPrivilegedTask() = default;

QVPrivilegedTask::Pointer QVPrivilegedTask::create() { return std::make_shared<QVPrivilegedTask>(Passkey{}); }

QVPrivilegedTask::Pointer QVPrivilegedTask::initWithLaunchPath(const QString& launchPath)
{
    auto task = create();
    task->setLaunchPath(launchPath);
    return task;
}

QVPrivilegedTask::Pointer QVPrivilegedTask::initWithLaunchPath(const QString& launchPath, const QStringList& arguments)
{
    auto task = initWithLaunchPath(launchPath);
    task->setArguments(arguments);
    return task;
}

QVPrivilegedTask::Pointer QVPrivilegedTask::initWithLaunchPath(const QString& launchPath, const QStringList& arguments,
                                                               const QString& currentDirectory)
{
    auto task = initWithLaunchPath(launchPath, arguments);
    task->setCurrentDirectoryPath(currentDirectory);
    return task;
}

QVPrivilegedTask::Pointer QVPrivilegedTask::launchedAndWaited(const Pointer& task,
                                                              const std::function<std::int32_t(QVPrivilegedTask&)>& launch)
{
    launch(*task);  // the status is not reported; a task that did not start comes back idle
    task->waitUntilExit();
    return task;
}

QVPrivilegedTask::Pointer QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(const QString& launchPath)
{
    return launchedAndWaited(initWithLaunchPath(launchPath), &QVPrivilegedTask::launch);
}

QVPrivilegedTask::Pointer QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(const QString& launchPath,
                                                                                 const QStringList& arguments)
{
    return launchedAndWaited(initWithLaunchPath(launchPath, arguments), &QVPrivilegedTask::launch);
}

QVPrivilegedTask::Pointer QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(const QString& launchPath,
                                                                                 const QStringList& arguments,
                                                                                 const QString& currentDirectory)
{
    return launchedAndWaited(initWithLaunchPath(launchPath, arguments, currentDirectory), &QVPrivilegedTask::launch);
}

QVPrivilegedTask::Pointer QVPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(const QString& launchPath,
                                                                                 const QStringList& arguments,
                                                                                 const QString& currentDirectory,
                                                                                 const ntfs::Authorization* authorization)
{
    return launchedAndWaited(initWithLaunchPath(launchPath, arguments, currentDirectory),
                             [authorization](QVPrivilegedTask& task) { return task.launchWithAuthorization(authorization); });
}

std::int32_t QVPrivilegedTask::launch()
{
    return launchWithAuthorization(nullptr);
}

// The authorization is not consulted: the elevator asks for consent when the tool runs.
std::int32_t QVPrivilegedTask::launchWithAuthorization(const ntfs::Authorization*)
{
    if (isRunning_) {
        log(ntfs::formatLog("Task already running: %@", description().toStdString()));
        return success;
    }
    auto elevator = currentElevator();
    if (!elevator->available()) {
        log(unavailableMessage);
        return functionUnavailableStatus;
    }
    ntfs::SpawnRequest request{fileSystemRepresentation(launchPath()), {}, {}};
    for (const auto& argument : arguments())
        request.arguments.push_back(fileSystemRepresentation(argument));
    if (auto directory = currentDirectoryPath(); !directory.isNull())
        request.workingDirectory = fileSystemRepresentation(directory);

    auto launched = elevator->execute(request);
    if (launched.status != success)
        return launched.status;
    started(std::move(launched));
    return success;
}

void QVPrivilegedTask::started(ntfs::ElevatedLaunch launched)
{
    isRunning_ = true;
    lockedWrite(outputFileHandle_, std::make_shared<ntfs::OutputFileHandle>(launched.tool->takeOutput(),
                                                                           QByteArray::fromStdString(launched.initialOutput)));
    processIdentifier_ = launched.tool->pid();
    tool_ = std::move(launched.tool);
    scheduleStatusTimer();
}

void QVPrivilegedTask::scheduleStatusTimer()
{
    if (!checkStatusTimer_ || checkStatusTimer_->thread() != QThread::currentThread()) {
        checkStatusTimer_ = std::make_unique<QTimer>();
        checkStatusTimer_->setInterval(statusCheckInterval);
    }
    // The connection's copy of the task is what keeps a task nobody else holds alive until its
    // end is seen; breaking the connection lets go of it.
    checkStatusConnection_ = QObject::connect(checkStatusTimer_.get(), &QTimer::timeout, checkStatusTimer_.get(),
                                              [task = shared_from_this()] { task->checkTaskStatus(); });
    checkStatusTimer_->start();
}

void QVPrivilegedTask::invalidateStatusTimer()
{
    if (checkStatusTimer_)
        checkStatusTimer_->stop();
    QObject::disconnect(checkStatusConnection_);
}

std::optional<int> QVPrivilegedTask::reap(bool block)
{
    try {
        auto status = block ? std::optional(tool_->waitForExit()) : tool_->tryReap();
        return status ? std::optional(status->exitCode()) : std::nullopt;
    } catch (const std::system_error&) {
        return waitFailedStatus;
    }
}

void QVPrivilegedTask::ended(int status)
{
    tool_.reset();
    isRunning_ = false;
    terminationStatus_ = status;
}

void QVPrivilegedTask::checkTaskStatus()
{
    if (!isRunning_)
        return;
    const auto self = shared_from_this();
    if (auto output = outputFileHandle())
        output->absorbReady(readPerCheck);
    auto status = reap(false);
    if (!status)
        return;
    ended(*status);
    invalidateStatusTimer();
    ntfs::NotificationCenter::defaultCenter().post(didTerminateNotification, self);
    if (auto handler = terminationHandler())
        handler(self);
}

// Sleeps in poll until the tool ends, taking its output off the stream meanwhile: a tool that
// writes more than the stream holds would otherwise never get to its end.
void QVPrivilegedTask::drainUntilToolEnds()
{
    auto output = outputFileHandle();
    while (tool_->awaitReadableBeforeExit(output ? output->fileDescriptor() : -1))
        output->absorbReady(readChunk);
}

void QVPrivilegedTask::waitUntilExit()
{
    if (!isRunning_) {
        log(ntfs::formatLog("Task %@ is not running", defaultDescription().toStdString()));
        return;
    }
    const auto self = shared_from_this();
    invalidateStatusTimer();
    drainUntilToolEnds();
    ended(reap(true).value_or(waitFailedStatus));
}

void QVPrivilegedTask::terminate() {}

QString QVPrivilegedTask::defaultDescription() const
{
    return QString::asprintf("<QVPrivilegedTask: %p>", static_cast<const void*>(this));
}

QString QVPrivilegedTask::description() const
{
    QString command = orNull(launchPath());
    for (const auto& argument : arguments())
        command += QStringLiteral(" '") + argument + QLatin1Char('\'');
    command += QStringLiteral(" (CWD:") + orNull(currentDirectoryPath()) + QLatin1Char(')');
    return defaultDescription() + QLatin1Char(' ') + command;
}

void QVPrivilegedTask::log(const std::string& line) const { currentLogger()->log(line); }

QStringList QVPrivilegedTask::arguments() const { return lockedRead(arguments_); }

void QVPrivilegedTask::setArguments(const QStringList& arguments) { lockedWrite(arguments_, arguments); }

QString QVPrivilegedTask::currentDirectoryPath() const { return lockedRead(currentDirectoryPath_); }

void QVPrivilegedTask::setCurrentDirectoryPath(const QString& path) { lockedWrite(currentDirectoryPath_, path); }

QString QVPrivilegedTask::launchPath() const { return lockedRead(launchPath_); }

void QVPrivilegedTask::setLaunchPath(const QString& path) { lockedWrite(launchPath_, path); }

QVPrivilegedTask::TerminationHandler QVPrivilegedTask::terminationHandler() const { return lockedRead(terminationHandler_); }

void QVPrivilegedTask::setTerminationHandler(TerminationHandler handler) { lockedWrite(terminationHandler_, std::move(handler)); }

std::shared_ptr<ntfs::OutputFileHandle> QVPrivilegedTask::outputFileHandle() const { return lockedRead(outputFileHandle_); }
