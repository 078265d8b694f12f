#include "ApplicationMain.h"

#include "AppDelegate.h"
#include "AppServices.h"
#include "ApplicationShell.h"
#include "BlessToolServiceManagement.h"
#include "Bundle.h"
#include "ImmediateProcessExit.h"
#include "LinuxPlatformVersionSource.h"
#include "Localization.h"
#include "LogindScriptRunner.h"
#include "MessageBoxAlertPresenter.h"
#include "ResourceColorCatalog.h"
#include "SyslogLogger.h"

#include <QApplication>
#include <QTranslator>

namespace {
constexpr const char* appIdentity = "com.tarn.mac.utility.website.ntfs.HelperApp";
}

int applicationMain(int argc, char** argv)
{
    QApplication application(argc, argv);
    ntfs::SyslogLogger logger(appIdentity);
    ResourceColorCatalog colors;
    LogindScriptRunner scripts;
    ImmediateProcessExit exit;
    MessageBoxAlertPresenter alerts;
    LinuxPlatformVersionSource osVersion;
    Bundle mainBundle = Bundle::mainBundle();
    BlessToolServiceManagement serviceManagement(mainBundle, logger);
    AppServices services{logger, colors, scripts, exit, alerts, osVersion, serviceManagement, mainBundle};
    AppServicesScope scope(services);

    auto translator = Localization::installForUserLocale();

    AppDelegate delegate;
    ApplicationShell shell(application, delegate);
    return shell.run();
}
