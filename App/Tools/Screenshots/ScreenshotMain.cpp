// Shows one scene of the app in a real window so that scripts/screenshots.sh can capture it.
// Usage: ntfs_app_screenshots install|installing|grantFDA|justReboot|scanQRCode|helper|popover[-dark]
// "installing" runs the app folder's install script for real, below NTFS_INSTALL_ROOT.
// Nothing here restarts the computer or ends the process on a button press.
#include "App/Shell/Localization.h"
#include "App/Shell/ProcessExit.h"
#include "App/Shell/SystemRestart.h"
#include "App/Start/AppDelegate.h"
#include "App/Start/AppWiring.h"
#include "App/Start/ApplicationShell.h"
#include "App/Tools/Screenshots/ScreenshotScene.h"
#include "Common/Logger.h"

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

class RefusingRestart final : public SystemRestart {
public:
    bool restart(QString& errorInfo) override
    {
        errorInfo = QStringLiteral("{ errorName = \"screenshots restart nothing\"; }");
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
    RefusingRestart restart;
    IgnoredProcessExit exit;
    AppServiceOverrides overrides;
    overrides.logger = &logger;
    overrides.restart = &restart;
    overrides.exit = &exit;
    AppWiring wiring(overrides);

    auto translator = Localization::installForUserLocale();

    AppDelegate delegate;
    ApplicationShell shell(application, delegate, wiring.services());
    QWidget backdrop(nullptr, Qt::FramelessWindowHint);
    backdrop.setStyleSheet(QStringLiteral("background-color: #cdd3da;"));
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    shell.window().move(120, 240);
    shell.launch();
    ScreenshotScene scene(backdrop, shell.window(), QString::fromLocal8Bit(argv[1]), wiring.services());
    if (!scene.start()) {
        std::fprintf(stderr, "unknown scene %s\n", argv[1]);
        return 2;
    }
    return QApplication::exec();
}
