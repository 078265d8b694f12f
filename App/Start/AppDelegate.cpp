#include "App/Start/AppDelegate.h"

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed(const QGuiApplication&) const
{
    return true;
}
