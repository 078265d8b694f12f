#include "App/Shell/InstallVersionRule.h"

#include "App/Shell/OSVersionSource.h"

QString InstallVersionRule::successScreenIdentifier(const OSVersionSource& version)
{
    if (!version.isOperatingSystemAtLeastVersion(fullDiskAccessVersion))
        return QStringLiteral("justReboot");
    if (!version.isOperatingSystemAtLeastVersion(kernelExtensionScriptVersion))
        return QStringLiteral("grantFDA");
    return QStringLiteral("scanQRCode");
}

bool InstallVersionRule::installsKernelExtension(const OSVersionSource& version)
{
    return version.isOperatingSystemAtLeastVersion(kernelExtensionScriptVersion);
}
