#pragma once

#include "App/Screens/Window.h"

#include <QObject>
#include <QPointer>

class QGuiApplication;

// The application's delegate: nothing to do at launch or termination; closing the one window
// quits the app.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    void applicationDidFinishLaunching() {}
    void applicationWillTerminate() {}
    bool applicationShouldTerminateAfterLastWindowClosed(const QGuiApplication& application) const;

    // An outlet slot that does not own the window; nothing in the app reads or sets it.
    Window* window() const { return window_.data(); }
    void setWindow(Window* window) { window_ = window; }

private:
    QPointer<Window> window_;
};
