#include "App/Shell/InstallFlow.h"

#include "App/Shell/Bundle.h"
#include "App/Shell/InstallVersionRule.h"
#include "App/Shell/ServiceManagement.h"
#include "Common/LogFormat.h"
#include "Common/Logger.h"
#include "PrivilegedTask/Authorization.h"
#include "PrivilegedTask/QVPrivilegedTask.h"

#include <QFileInfo>

namespace {

// errAuthorizationInvalidRef: a bless asked for without an authorization.
constexpr std::int32_t invalidReferenceStatus = -60002;

constexpr qint64 outputChunk = 4096;

const QString shell = QStringLiteral("/bin/sh");

struct Resource {
    const char* name;
    const char* type;
};

QString decoded(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

}  // namespace

// Uninstall and reload: a script of the app run as root, told by its launch and exit status.
struct InstallFlow::Job {
    const char* script;
    Step running;
    Outcome::Flow flow;
    bool logsOutput;  // the launch line carries what the script wrote
    bool waitWhenNotStarted;
};

InstallFlow::InstallFlow(const Bundle& bundle, const OSVersionSource& osVersion, ServiceManagement& serviceManagement,
                         ntfs::Logger& logger, TaskFactory createTask, InstallFlowListener& listener)
    : bundle_(bundle),
      osVersion_(osVersion),
      serviceManagement_(serviceManagement),
      logger_(logger),
      createTask_(std::move(createTask)),
      listener_(listener)
{
}

// The worker is joined (work_ goes first) before the fields it uses.
InstallFlow::~InstallFlow() = default;

void InstallFlow::set_authRef(std::unique_ptr<ntfs::Authorization> authorization)
{
    authRef_ = std::move(authorization);
}

void InstallFlow::log(const std::string& line)
{
    logger_.log(line);
}

void InstallFlow::install()
{
    if (work_.isBusy())
        return;
    log("Install Action: Executing Script");
    listener_.flowStepChanged(Step::Password);
    using Result = std::pair<bool, QString>;
    work_.run<Result>(
        [this] {
            QString scriptResult;
            bool installed = copyInstallExecutales(scriptResult);
            return Result{installed, scriptResult};
        },
        [this](Result result) {
            if (result.first)
                blessAfterScript();
            else
                listener_.flowEnded({Outcome::Flow::Install, Outcome::Result::ScriptFailed, result.second});
        });
}

void InstallFlow::blessAfterScript()
{
    log("Install Action: Bless Jobs");
    set_authRef(ntfs::Authorization::create());
    listener_.flowStepChanged(Step::Registering);
    using Result = std::pair<bool, std::optional<DomainError>>;
    work_.run<Result>(
        [this] {
            std::optional<DomainError> error;
            bool blessed = blessHelperWithLabel(QString::fromLatin1(helperLabel), &error);
            return Result{blessed, std::move(error)};
        },
        [this](Result result) {
            auto& [blessed, error] = result;
            if (blessed) {
                log("Job is available!");
                listener_.flowEnded({Outcome::Flow::Install, Outcome::Result::Succeeded});
                return;
            }
            log(ntfs::formatLog("Something went wrong! %@ / %d",
                                error ? error->domain().toStdString() : std::optional<std::string>{},
                                error ? static_cast<int>(error->code()) : 0));
            listener_.flowEnded({Outcome::Flow::Install, Outcome::Result::BlessFailed, {}, std::move(error)});
        });
}

bool InstallFlow::blessHelperWithLabel(const QString& label, std::optional<DomainError>* error)
{
    if (!authRef_) {
        if (error)
            *error = DomainError::osStatus(invalidReferenceStatus);
        return false;
    }
    std::optional<DomainError> platformError;
    bool blessed = serviceManagement_.jobBless(QString::fromLatin1(ServiceManagement::domainSystemLaunchd), label,
                                               platformError);
    if (!blessed && error)
        *error = std::move(platformError);
    return blessed;
}

bool InstallFlow::copyInstallExecutales(QString& scriptResult)
{
    const bool kernelExtension = InstallVersionRule::installsKernelExtension(osVersion_);
    const Resource script = kernelExtension ? Resource{"Install-Kext", "sh"} : Resource{"Install-Executables", "sh"};
    std::vector<Resource> installed{{"libintl.8", "dylib"}, {"tarn_ntfs_fix", ""}, {"tarn_ntfs-formatter", ""}};
    if (kernelExtension)
        installed.insert(installed.end(), {{"tarn_ntfs.kext", ""}, {"tarn_ntfs.fs", ""}});

    QString scriptPath = bundle_.pathForResource(QString::fromLatin1(script.name), QString::fromLatin1(script.type));
    QStringList installList;
    QStringList missing;
    if (scriptPath.isNull())
        missing << QString::fromLatin1(script.name);
    for (const Resource& resource : installed) {
        QString path = bundle_.pathForResource(QString::fromLatin1(resource.name), QString::fromLatin1(resource.type));
        if (path.isNull())
            missing << QString::fromLatin1(resource.name);
        installList << path;
    }
    // An app that lacks one of its files cannot install the driver; the script is not run.
    if (!missing.isEmpty()) {
        scriptResult = QStringLiteral("Missing resources: %1\n").arg(missing.join(QStringLiteral(", ")));
        log(ntfs::formatLog("Script Execution Result:%@", scriptResult.toStdString()));
        return false;
    }

    // Run in the script's folder, under the flow's authorization when it holds one; the shell's
    // own exit status decides.
    ScriptRun run = runScript({scriptPath, installList, QFileInfo(scriptPath).path(), Step::Installing}, authRef_.get());
    scriptResult = QString::asprintf("Script ret code: %d, OSStatus code: %d\n", run.exitStatus, int(run.launchStatus)) +
                   decoded(run.output);
    log(ntfs::formatLog("Script Execution Result:%@", scriptResult.toStdString()));
    return run.launchStatus == ntfs::AuthorizationStatus::success && run.exitStatus == 0;
}

void InstallFlow::uninstall()
{
    runJob({.script = "Uninstall", .running = Step::Uninstalling, .flow = Outcome::Flow::Uninstall, .logsOutput = false,
            .waitWhenNotStarted = false});
}

void InstallFlow::reload()
{
    runJob({.script = "Reload", .running = Step::Reloading, .flow = Outcome::Flow::Reload, .logsOutput = true,
            .waitWhenNotStarted = true});
}

void InstallFlow::runJob(const Job& job)
{
    if (work_.isBusy())
        return;
    Script script{bundle_.pathForResource(QString::fromLatin1(job.script), QStringLiteral("sh")), {}, {}, job.running,
                  job.waitWhenNotStarted};
    listener_.flowStepChanged(Step::Password);
    work_.run<ScriptRun>([this, script] { return runScript(script, nullptr); },
                         [this, job](ScriptRun run) { listener_.flowEnded({job.flow, jobResult(job, run)}); });
}

InstallFlow::Outcome::Result InstallFlow::jobResult(const Job& job, const ScriptRun& run)
{
    if (run.launchStatus == ntfs::AuthorizationStatus::canceled) {
        log("User cancelled");
        return Outcome::Result::Cancelled;
    }
    if (run.launchStatus != ntfs::AuthorizationStatus::success) {
        log("Something went wrong");
        return Outcome::Result::NotLaunched;
    }
    log(job.logsOutput ? ntfs::formatLog("Task successfully launched: %@\n", decoded(run.output).toStdString())
                       : std::string("Task successfully launched"));
    // Success is told only once the script has done its work.
    return run.exitStatus == 0 ? Outcome::Result::Succeeded : Outcome::Result::ScriptFailed;
}

InstallFlow::ScriptRun InstallFlow::runScript(const Script& script, const ntfs::Authorization* authorization)
{
    auto task = createTask_();
    task->setLaunchPath(shell);
    task->setArguments(QStringList{script.path} + script.arguments);
    if (!script.folder.isNull())
        task->setCurrentDirectoryPath(script.folder);
    ScriptRun run;
    if (script.path.isNull())
        run.launchStatus = ntfs::AuthorizationStatus::toolExecuteFailure;
    else
        run.launchStatus = authorization ? task->launchWithAuthorization(authorization) : task->launch();
    if (run.launchStatus == ntfs::AuthorizationStatus::success) {
        work_.post([this, running = script.running] { listener_.flowStepChanged(running); });
        run.output = streamOutput(*task);
        task->waitUntilExit();
    } else if (script.waitWhenNotStarted) {
        task->waitUntilExit();
    }
    run.exitStatus = task->terminationStatus();
    return run;
}

// Reads the output as it comes, handing each complete line to the listener; returns all of it once
// the script has closed its side.
QByteArray InstallFlow::streamOutput(QVPrivilegedTask& task)
{
    auto handle = task.outputFileHandle();
    QByteArray all;
    if (!handle)
        return all;
    qsizetype lineStart = 0;
    auto hand = [this](const QByteArray& line) {
        work_.post([this, text = decoded(line)] { listener_.flowOutputLine(text); });
    };
    for (QByteArray chunk = handle->read(outputChunk); !chunk.isEmpty(); chunk = handle->read(outputChunk)) {
        all += chunk;
        for (qsizetype end = all.indexOf('\n', lineStart); end >= 0; end = all.indexOf('\n', lineStart)) {
            hand(all.mid(lineStart, end - lineStart));
            lineStart = end + 1;
        }
    }
    if (lineStart < all.size())
        hand(all.mid(lineStart));
    return all;
}
