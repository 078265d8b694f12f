#include "RestartRequest.h"

#include "AppServices.h"
#include "LogFormat.h"
#include "Logger.h"
#include "ProcessExit.h"
#include "SystemRestart.h"

#include <string>

void RestartRequest::perform(AppServices& services)
{
    QString errorInfo;
    if (!services.restart.restart(errorInfo)) {
        std::string info = errorInfo.toStdString();
        services.logger.log(ntfs::formatLog("%@", std::string_view(info)));
    }
    services.exit.exitNow(0);
}
