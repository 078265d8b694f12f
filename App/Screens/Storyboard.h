#pragma once

#include <QString>

#include <memory>

class ViewController;
struct AppServices;

// The storyboard "Main": its scenes are uic forms, its registry creates a new screen for an
// identifier (matched exactly) on every call, handing it the app's services. Nothing is cached.
class Storyboard {
public:
    static constexpr const char* mainName = "Main";

    explicit Storyboard(AppServices& services) : services_(services) {}

    // Null for a name other than "Main".
    static std::unique_ptr<Storyboard> storyboardWithName(const QString& name, AppServices& services);

    // Null for an identifier the storyboard does not define.
    std::unique_ptr<ViewController> instantiateControllerWithIdentifier(const QString& identifier) const;

    // The window's content at launch: the installation screen.
    std::unique_ptr<ViewController> instantiateInitialController() const;

private:
    AppServices& services_;
};
