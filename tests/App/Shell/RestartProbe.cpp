// Opens the app's window on a restart screen and presses its go button, with the app's real
// restart and real exit. Log lines go to standard output as "log: <line>".
// Refuses to run unless DBUS_SYSTEM_BUS_ADDRESS names a bus: it must never reach a real logind.
#include "App/Start/AppDelegate.h"
#include "App/Start/AppWiring.h"
#include "App/Start/ApplicationShell.h"
#include "Common/Logger.h"
#include "tests/App/Shell/TestAppServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

struct StdoutLogger final : ntfs::Logger {
    void log(std::string_view line) override { std::printf("log: %.*s\n", int(line.size()), line.data()); std::fflush(stdout); }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) {
        std::fputs("usage: DBUS_SYSTEM_BUS_ADDRESS=<test bus> app_restart_probe grantFDA|justReboot\n", stderr);
        return 3;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    StdoutLogger logger;
    AppServiceOverrides overrides;
    overrides.logger = &logger;
    AppWiring wiring(overrides);

    AppDelegate delegate;
    ApplicationShell shell(application, delegate, wiring.services());
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [] { std::puts("aboutToQuit"); std::fflush(stdout); });
    shell.launch();
    shell.window().setContentViewController(ntfs::test::makeScreen(wiring.services(), QString::fromLocal8Bit(argv[1])));
    QTimer::singleShot(0, &shell.window(), [&shell] {
        shell.window().findChild<QAbstractButton*>(QStringLiteral("goButton"))->click();
    });
    QApplication::exec();
    std::puts("event loop ended");
    return 7;
}
