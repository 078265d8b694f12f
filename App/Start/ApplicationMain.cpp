#include "ApplicationMain.h"

#include "AppDelegate.h"
#include "AppWiring.h"
#include "ApplicationShell.h"
#include "Localization.h"

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
