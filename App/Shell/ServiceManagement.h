#pragma once

#include "App/Shell/DomainError.h"

#include <QString>

#include <optional>

// The platform's bless mechanism: installs the privileged helper that the app carries under a
// label into a launchd domain, asking the user for consent.
class ServiceManagement {
public:
    static constexpr const char* domainSystemLaunchd = "kSMDomainSystemLaunchd";

    virtual ~ServiceManagement() = default;

    // On failure returns false and, where it knows why, sets error.
    virtual bool jobBless(const QString& domain, const QString& label, std::optional<DomainError>& error) = 0;
};
