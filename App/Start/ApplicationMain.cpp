#include "App/Start/ApplicationMain.h"

#include "App/Shell/Localization.h"
#include "App/Start/AppDelegate.h"
#include "App/Start/AppWiring.h"
#include "App/Start/ApplicationShell.h"

#include <QApplication>
#include <QTranslator>

int applicationMain(int argc, char** argv)
{
    QApplication application(argc, argv);
    AppWiring wiring;

    auto translator = Localization::installForUserLocale();

    AppDelegate delegate;
    ApplicationShell shell(application, delegate, wiring.services());
    return shell.run();
}
