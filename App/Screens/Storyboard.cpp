#include "App/Screens/Storyboard.h"

#include "App/Screens/GrantPermissionViewController.h"
#include "App/Screens/HelpPopoverViewController.h"
#include "App/Screens/InstallHelperViewController.h"
#include "App/Screens/NoFDARebootViewController.h"
#include "App/Screens/VenturaQRCodeViewController.h"

namespace {

template <typename Controller>
std::unique_ptr<ViewController> make(AppServices& services)
{
    return std::make_unique<Controller>(services);
}

struct Scene {
    const char* identifier;
    std::unique_ptr<ViewController> (*create)(AppServices& services);
};

constexpr Scene scenes[] = {
    {"helper", make<HelpPopoverViewController>},
    {"scanQRCode", make<VenturaQRCodeViewController>},
    {"grantFDA", make<GrantPermissionViewController>},
    {"justReboot", make<NoFDARebootViewController>},
};

}  // namespace

std::unique_ptr<Storyboard> Storyboard::storyboardWithName(const QString& name, AppServices& services)
{
    if (name != QLatin1String(mainName))
        return nullptr;
    return std::make_unique<Storyboard>(services);
}

std::unique_ptr<ViewController> Storyboard::instantiateControllerWithIdentifier(const QString& identifier) const
{
    for (const Scene& scene : scenes) {
        if (identifier == QLatin1String(scene.identifier))
            return scene.create(services_);
    }
    return nullptr;
}

std::unique_ptr<ViewController> Storyboard::instantiateInitialController() const
{
    return make<InstallHelperViewController>(services_);
}
