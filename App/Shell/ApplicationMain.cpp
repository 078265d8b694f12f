#include "App/Shell/ApplicationMain.h"

#include "App/Shell/AppDelegate.h"
#include "App/Shell/AppWiring.h"
#include "App/Shell/ApplicationShell.h"
#include "App/Shell/Localization.h"

#include <QApplication>
#include <QTranslator>

int applicationMain(int argc, char** argv)
{
    QApplication application(argc, argv);
    AppWiring wiring;

    auto translator = Localization::installForUserLocale();

    AppDelegate delegate;
    ApplicationShell shell(application, delegate);
    return shell.run();
}
