#include "App/Start/ApplicationShell.h"

#include "App/Screens/Storyboard.h"
#include "App/Screens/ViewController.h"
#include "App/Start/AppDelegate.h"

#include <QApplication>

ApplicationShell::ApplicationShell(QApplication& application, AppDelegate& delegate, AppServices& services)
    : application_(application), delegate_(delegate), services_(services)
{
    application_.setQuitOnLastWindowClosed(delegate_.applicationShouldTerminateAfterLastWindowClosed(application_));
    QObject::connect(&application_, &QCoreApplication::aboutToQuit, &delegate_, &AppDelegate::applicationWillTerminate);
}

void ApplicationShell::launch()
{
    auto storyboard = Storyboard::storyboardWithName(QString::fromLatin1(Storyboard::mainName), services_);
    window_.setContentViewController(storyboard->instantiateInitialController());
    window_.resize(windowSize);
    window_.show();
    delegate_.applicationDidFinishLaunching();
}

int ApplicationShell::run()
{
    launch();
    return QApplication::exec();
}
