#include "App/Start/AppWiring.h"

#include "App/Shell/Bundle.h"
#include "App/Shell/Linux/BlessToolServiceManagement.h"
#include "App/Shell/Linux/ImmediateProcessExit.h"
#include "App/Shell/Linux/LinuxPlatformVersionSource.h"
#include "App/Shell/Linux/LogindRestart.h"
#include "App/Shell/Linux/MessageBoxAlertPresenter.h"
#include "App/Shell/Linux/ResourceColorCatalog.h"
#include "Common/Linux/SyslogLogger.h"

namespace {

constexpr const char* appIdentity = "com.tarn.mac.utility.website.ntfs.HelperApp";

// The override when there is one, else a new Default kept in `owned`.
template <typename Default, typename Service, typename... Arguments>
Service& either(Service* override, std::unique_ptr<Service>& owned, Arguments&&... arguments)
{
    if (override)
        return *override;
    owned = std::make_unique<Default>(std::forward<Arguments>(arguments)...);
    return *owned;
}

}  // namespace

struct AppWiring::Owned {
    std::unique_ptr<ntfs::Logger> logger;
    std::unique_ptr<ColorCatalog> colors;
    std::unique_ptr<SystemRestart> restart;
    std::unique_ptr<ProcessExit> exit;
    std::unique_ptr<AlertPresenter> alerts;
    std::unique_ptr<OSVersionSource> osVersion;
    std::unique_ptr<Bundle> bundle;
    std::unique_ptr<ServiceManagement> serviceManagement;
};

AppWiring::AppWiring(const AppServiceOverrides& overrides) : owned_(std::make_unique<Owned>())
{
    Owned& own = *owned_;
    own.bundle = std::make_unique<Bundle>(overrides.bundlePath ? Bundle(*overrides.bundlePath) : Bundle::mainBundle());
    auto& logger = either<ntfs::SyslogLogger>(overrides.logger, own.logger, appIdentity);
    services_ = std::make_unique<AppServices>(AppServices{
        logger,
        either<ResourceColorCatalog>(overrides.colors, own.colors),
        either<LogindRestart>(overrides.restart, own.restart),
        either<ImmediateProcessExit>(overrides.exit, own.exit),
        either<MessageBoxAlertPresenter>(overrides.alerts, own.alerts),
        either<LinuxPlatformVersionSource>(overrides.osVersion, own.osVersion),
        either<BlessToolServiceManagement>(overrides.serviceManagement, own.serviceManagement, *own.bundle, logger),
        *own.bundle,
    });
}

AppWiring::~AppWiring() = default;
