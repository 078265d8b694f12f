#include "App/Shell/DomainError.h"

namespace {

QString genericDescription(const QString& domainName, std::int64_t code)
{
    return QStringLiteral("The operation couldn\u2019t be completed. (%1 error %2.)").arg(domainName).arg(code);
}

}  // namespace

DomainError::DomainError(QString domain, std::int64_t code, QString description)
    : domain_(std::move(domain)), code_(code), description_(std::move(description))
{
}

DomainError DomainError::osStatus(std::int32_t status)
{
    return {QString::fromLatin1(osStatusDomain), status, genericDescription(QStringLiteral("OSStatus"), status)};
}

DomainError DomainError::launchd(std::int64_t code)
{
    return {QString::fromLatin1(launchdDomain), code, genericDescription(QString::fromLatin1(launchdDomain), code)};
}
