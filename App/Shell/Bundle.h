#pragma once

#include <QString>

// The app's bundle on Linux: the folder that holds the app's executable, with the scripts and
// driver files in its "Resources" folder and the helper it installs in "Library/LaunchServices".
class Bundle {
public:
    static constexpr const char* resourcesFolder = "Resources";
    static constexpr const char* launchServicesFolder = "Library/LaunchServices";

    explicit Bundle(QString bundlePath);
    // The folder of the running executable.
    static Bundle mainBundle();

    const QString& bundlePath() const { return bundlePath_; }
    QString resourcePath() const;

    // <resources>/<name>[.<type>] when it exists (a file or a folder), a null string otherwise.
    QString pathForResource(const QString& name, const QString& type) const;
    // An executable beside the app's own, or a null string.
    QString pathForAuxiliaryExecutable(const QString& name) const;
    // Where the app carries the privileged helper with this label (whether or not it is there).
    QString pathForLaunchServicesTool(const QString& label) const;

private:
    QString bundlePath_;
};
