#pragma once

#include <QString>

#include <cstdint>

// An error as the platform's error objects carry it: a domain, a code, and a description that the
// alerts show. Status values of authorizations and privileged launches go in the OSStatus domain,
// failures of the bless mechanism in the launchd domain.
class DomainError {
public:
    static constexpr const char* osStatusDomain = "NSOSStatusErrorDomain";
    static constexpr const char* launchdDomain = "CFErrorDomainLaunchd";

    DomainError(QString domain, std::int64_t code, QString description);

    // The description reads like the platform's generic one:
    // "The operation couldn’t be completed. (OSStatus error -60006.)"
    static DomainError osStatus(std::int32_t status);
    static DomainError launchd(std::int64_t code);

    const QString& domain() const { return domain_; }
    std::int64_t code() const { return code_; }
    const QString& localizedDescription() const { return description_; }

private:
    QString domain_;
    std::int64_t code_;
    QString description_;
};
