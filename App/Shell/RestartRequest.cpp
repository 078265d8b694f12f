#include "App/Shell/RestartRequest.h"

#include "App/Shell/AppServices.h"
#include "App/Shell/ProcessExit.h"
#include "App/Shell/SystemRestart.h"
#include "Common/LogFormat.h"
#include "Common/Logger.h"

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
