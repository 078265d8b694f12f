// Shows one scene of the app in a real window so that scripts/screenshots.sh can capture it.
// Usage: ntfs_app_screenshots install|installing|grantFDA|justReboot|scanQRCode|helper|popover[-dark]
// "installing" runs the app folder's install script for real, below NTFS_INSTALL_ROOT.
// Nothing here restarts the computer or ends the process on a button press.
#include "AppDelegate.h"
#include "AppServices.h"
#include "ApplicationShell.h"
#include "BlessToolServiceManagement.h"
#include "Bundle.h"
#include "LinuxPlatformVersionSource.h"
#include "Localization.h"
#include "Logger.h"
#include "MessageBoxAlertPresenter.h"
#include "ProcessExit.h"
#include "ResourceColorCatalog.h"
#include "ScreenshotScene.h"
#include "ScriptRunner.h"

#include <QApplication>
#include <QScreen>
#include <QTranslator>

#include <cstdio>
#include <string>

namespace {

class StderrLogger final : public ntfs::Logger {
public:
    void log(std::string_view line) override { std::fprintf(stderr, "%.*s\n", int(line.size()), line.data()); }
};

class RefusingScriptRunner final : public ScriptRunner {
public:
    bool execute(const QString&, QString& errorInfo) override
    {
        errorInfo = QStringLiteral("{ errorName = \"screenshots run no scripts\"; }");
        return false;
    }
};

class IgnoredProcessExit final : public ProcessExit {
public:
    void exitNow(int) override {}
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: ntfs_app_screenshots install|installing|grantFDA|justReboot|scanQRCode|helper|popover[-dark]\n", stderr);
        return 2;
    }
    StderrLogger logger;
    ResourceColorCatalog colors;
    RefusingScriptRunner scripts;
    IgnoredProcessExit exit;
    MessageBoxAlertPresenter alerts;
    LinuxPlatformVersionSource osVersion;  // as the app: the install runs Install-Kext.sh
    Bundle mainBundle = Bundle::mainBundle();
    BlessToolServiceManagement serviceManagement(mainBundle, logger);
    AppServices services{logger, colors, scripts, exit, alerts, osVersion, serviceManagement, mainBundle};
    AppServicesScope scope(services);

    auto translator = Localization::installForUserLocale();

    AppDelegate delegate;
    ApplicationShell shell(application, delegate);
    QWidget backdrop(nullptr, Qt::FramelessWindowHint);
    backdrop.setStyleSheet(QStringLiteral("background-color: #cdd3da;"));
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    shell.window().move(120, 240);
    shell.launch();
    ScreenshotScene scene(backdrop, shell.window(), QString::fromLocal8Bit(argv[1]));
    if (!scene.start()) {
        std::fprintf(stderr, "unknown scene %s\n", argv[1]);
        return 2;
    }
    return QApplication::exec();
}
