#include "App/Shell/Linux/BlessToolServiceManagement.h"

#include "App/BlessTool/BlessToolStatus.h"
#include "App/Shell/Bundle.h"
#include "Common/LogFormat.h"
#include "Common/Logger.h"
#include "PrivilegedTask/QVPrivilegedTask.h"

#include <QDir>

BlessToolServiceManagement::BlessToolServiceManagement(const Bundle& bundle, ntfs::Logger& logger)
    : bundle_(bundle), logger_(logger)
{
}

bool BlessToolServiceManagement::jobBless(const QString& domain, const QString& label, std::optional<DomainError>& error)
{
    if (domain != QLatin1String(domainSystemLaunchd)) {
        error = DomainError::launchd(BlessToolStatus::internalFailure);
        return false;
    }
    QString tool = QDir(bundle_.bundlePath()).filePath(QString::fromLatin1(BlessToolStatus::executableName));
    auto task = QVPrivilegedTask::initWithLaunchPath(tool, {label}, bundle_.bundlePath());
    std::int32_t status = task->launch();
    if (status != ntfs::AuthorizationStatus::success) {
        error = DomainError::osStatus(status);
        return false;
    }
    task->waitUntilExit();
    QByteArray output = task->outputFileHandle()->readDataToEndOfFile();
    if (!output.isEmpty())
        logger_.log(ntfs::formatLog("Bless tool: %@", output.trimmed().toStdString()));
    int exitCode = task->terminationStatus();
    if (exitCode == BlessToolStatus::blessed)
        return true;
    error = DomainError::launchd(BlessToolStatus::errorCodeForExit(exitCode));
    return false;
}
