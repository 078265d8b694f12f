#pragma once

#include "DomainError.h"

#include <QString>

#include <optional>

namespace ntfs {
class Authorization;
}

// The platform's bless mechanism: installs the privileged helper that the app carries under a
// label into a launchd domain, with the consent held by (or asked for under) an authorization.
class ServiceManagement {
public:
    static constexpr const char* domainSystemLaunchd = "kSMDomainSystemLaunchd";
    static constexpr const char* rightBlessPrivilegedHelper = "com.apple.ServiceManagement.blesshelper";

    virtual ~ServiceManagement() = default;

    // On failure returns false and, where it knows why, sets error.
    virtual bool jobBless(const QString& domain, const QString& label, const ntfs::Authorization* authorization,
                          std::optional<DomainError>& error) = 0;
};
