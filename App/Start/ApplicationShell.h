#pragma once

#include "App/Screens/Window.h"

class AppDelegate;
class QApplication;
struct AppServices;

// What the platform's application main does after the application object exists: hand the
// delegate its hooks, open the one window with the storyboard's initial screen (which is handed
// the services), run the loop.
class ApplicationShell {
public:
    static constexpr QSize windowSize{640, 360};

    ApplicationShell(QApplication& application, AppDelegate& delegate, AppServices& services);
    ApplicationShell(const ApplicationShell&) = delete;
    ApplicationShell& operator=(const ApplicationShell&) = delete;

    Window& window() { return window_; }

    void launch();
    int run();

private:
    QApplication& application_;
    AppDelegate& delegate_;
    AppServices& services_;
    Window window_;
};
