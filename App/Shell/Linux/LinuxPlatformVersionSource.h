#pragma once

#include "App/Shell/OSVersionSource.h"

// The version the install flow sees on Linux: always 13.0.0. The version rule was made for the
// other platform's releases, and only its 13.0.0 branch installs the kernel module and the
// file-system bundle ("Install-Kext" with the module and the bundle), which a Linux system needs;
// the success screen that goes with it is "scanQRCode". A kernel release number means nothing to
// that rule, so it is not consulted.
class LinuxPlatformVersionSource final : public OSVersionSource {
public:
    static constexpr OperatingSystemVersion platformVersion{13, 0, 0};

    OperatingSystemVersion operatingSystemVersion() const override { return platformVersion; }
};
