#include "App/Shell/ApplicationShell.h"

#include "App/Screens/Storyboard.h"
#include "App/Screens/ViewController.h"
#include "App/Shell/AppDelegate.h"

#include <QApplication>

ApplicationShell::ApplicationShell(QApplication& application, AppDelegate& delegate)
    : application_(application), delegate_(delegate)
{
    application_.setQuitOnLastWindowClosed(delegate_.applicationShouldTerminateAfterLastWindowClosed(application_));
    QObject::connect(&application_, &QCoreApplication::aboutToQuit, &delegate_, &AppDelegate::applicationWillTerminate);
}

void ApplicationShell::launch()
{
    auto storyboard = Storyboard::storyboardWithName(QString::fromLatin1(Storyboard::mainName));
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
