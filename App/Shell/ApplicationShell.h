#pragma once

#include "App/Shell/Window.h"

class AppDelegate;
class QApplication;

// What the platform's application main does after the application object exists: hand the
// delegate its hooks, open the one window with the storyboard's initial screen, run the loop.
class ApplicationShell {
public:
    static constexpr QSize windowSize{640, 360};

    ApplicationShell(QApplication& application, AppDelegate& delegate);
    ApplicationShell(const ApplicationShell&) = delete;
    ApplicationShell& operator=(const ApplicationShell&) = delete;

    Window& window() { return window_; }

    void launch();
    int run();

private:
    QApplication& application_;
    AppDelegate& delegate_;
    Window window_;
};
