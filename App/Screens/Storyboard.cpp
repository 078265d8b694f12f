#include "App/Screens/Storyboard.h"

#include "App/Screens/GrantPermissionViewController.h"
#include "App/Screens/HelpPopoverViewController.h"
#include "App/Screens/InstallHelperViewController.h"
#include "App/Screens/NoFDARebootViewController.h"
#include "App/Screens/VenturaQRCodeViewController.h"

namespace {

template <typename Controller>
std::unique_ptr<ViewController> make()
{
    return std::make_unique<Controller>();
}

struct Scene {
    const char* identifier;
    std::unique_ptr<ViewController> (*create)();
};

constexpr Scene scenes[] = {
    {"helper", make<HelpPopoverViewController>},
    {"scanQRCode", make<VenturaQRCodeViewController>},
    {"grantFDA", make<GrantPermissionViewController>},
    {"justReboot", make<NoFDARebootViewController>},
};

}  // namespace

std::unique_ptr<Storyboard> Storyboard::storyboardWithName(const QString& name)
{
    if (name != QLatin1String(mainName))
        return nullptr;
    return std::make_unique<Storyboard>();
}

std::unique_ptr<ViewController> Storyboard::instantiateControllerWithIdentifier(const QString& identifier) const
{
    for (const Scene& scene : scenes) {
        if (identifier == QLatin1String(scene.identifier))
            return scene.create();
    }
    return nullptr;
}

std::unique_ptr<ViewController> Storyboard::instantiateInitialController() const
{
    return make<InstallHelperViewController>();
}
