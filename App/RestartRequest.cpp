#include "RestartRequest.h"

#include "AppServices.h"
#include "LogFormat.h"
#include "Logger.h"
#include "ProcessExit.h"
#include "ScriptRunner.h"

#include <string>

QString RestartRequest::scriptSource()
{
    return QString::fromUtf8(scriptFormat).replace(QStringLiteral("%@"), QString::fromUtf8(scriptArgument));
}

void RestartRequest::perform()
{
    AppServices& services = AppServices::current();
    QString errorInfo;
    if (!services.scripts.execute(scriptSource(), errorInfo)) {
        std::string info = errorInfo.toStdString();
        services.logger.log(ntfs::formatLog("%@", std::string_view(info)));
    }
    services.exit.exitNow(0);
}
