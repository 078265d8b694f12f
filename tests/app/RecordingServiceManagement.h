#pragma once

#include "ServiceManagement.h"

#include <QStringList>

#include <optional>

namespace ntfs::test {

// Records each bless request and answers with a set outcome (by default: failed, no error).
class RecordingServiceManagement final : public ServiceManagement {
public:
    bool jobBless(const QString& domain, const QString& label, std::optional<DomainError>& error) override
    {
        requests.push_back(domain + QLatin1Char(' ') + label);
        error = answerError;
        return answer;
    }

    bool answer = false;
    std::optional<DomainError> answerError;
    QStringList requests;
};

}  // namespace ntfs::test
