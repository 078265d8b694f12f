#pragma once

namespace ntfs {
class Logger;
}
class AlertPresenter;
class Bundle;
class ColorCatalog;
class OSVersionSource;
class ProcessExit;
class ServiceManagement;
class SystemRestart;

// The platform services the screens reach, installed once by the program (or by a test) for the
// life of an AppServicesScope. Screens are created by identifier alone, so they find them here.
struct AppServices {
    ntfs::Logger& logger;
    ColorCatalog& colors;
    SystemRestart& restart;
    ProcessExit& exit;
    AlertPresenter& alerts;
    OSVersionSource& osVersion;
    ServiceManagement& serviceManagement;
    const Bundle& mainBundle;

    // The installed services; aborts when none are installed, as that is a wiring fault.
    static AppServices& current();
};

class AppServicesScope {
public:
    explicit AppServicesScope(AppServices& services);
    ~AppServicesScope();
    AppServicesScope(const AppServicesScope&) = delete;
    AppServicesScope& operator=(const AppServicesScope&) = delete;

private:
    AppServices* previous_;
};
