#pragma once

#include "App/Shell/OperatingSystemVersion.h"

#include <QString>

class OSVersionSource;

// What the running system's version decides in the install flow: which install script runs and
// which guidance screen follows a successful install.
class InstallVersionRule {
public:
    static constexpr OperatingSystemVersion fullDiskAccessVersion{10, 14, 0};
    static constexpr OperatingSystemVersion kernelExtensionScriptVersion{13, 0, 0};

    // "justReboot" below 10.14.0, "grantFDA" from there, "scanQRCode" from 13.0.0. The 10.14.0
    // test comes first; only when it passes is 13.0.0 tested.
    static QString successScreenIdentifier(const OSVersionSource& version);
    // From 13.0.0 the install script also installs the kernel extension and the file-system bundle.
    static bool installsKernelExtension(const OSVersionSource& version);
};
