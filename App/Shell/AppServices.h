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

// The platform services the screens reach, built once by the program (or by a test). The storyboard
// hands them to every screen it makes.
struct AppServices {
    ntfs::Logger& logger;
    ColorCatalog& colors;
    SystemRestart& restart;
    ProcessExit& exit;
    AlertPresenter& alerts;
    OSVersionSource& osVersion;
    ServiceManagement& serviceManagement;
    const Bundle& mainBundle;
};
