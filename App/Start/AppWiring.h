#pragma once

#include "App/Shell/AppServices.h"

#include <QString>

#include <memory>
#include <optional>

// Services that the screenshot and test programs put in place of the app's own; each one left
// null is the app's.
struct AppServiceOverrides {
    ntfs::Logger* logger = nullptr;
    ColorCatalog* colors = nullptr;
    SystemRestart* restart = nullptr;
    ProcessExit* exit = nullptr;
    AlertPresenter* alerts = nullptr;
    OSVersionSource* osVersion = nullptr;
    ServiceManagement* serviceManagement = nullptr;
    std::optional<QString> bundlePath;  // none: the folder of the running executable
};

// The one place that builds the app's services; they live as long as the object.
class AppWiring {
public:
    explicit AppWiring(const AppServiceOverrides& overrides = {});
    ~AppWiring();
    AppWiring(const AppWiring&) = delete;
    AppWiring& operator=(const AppWiring&) = delete;

    AppServices& services() { return *services_; }

private:
    struct Owned;
    std::unique_ptr<Owned> owned_;
    std::unique_ptr<AppServices> services_;
};
