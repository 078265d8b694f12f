#pragma once

#include "App/Shell/OperatingSystemVersion.h"

// The running system's version, and the "at least this version" test made on it.
class OSVersionSource {
public:
    virtual ~OSVersionSource() = default;
    virtual OperatingSystemVersion operatingSystemVersion() const = 0;

    bool isOperatingSystemAtLeastVersion(const OperatingSystemVersion& version) const
    {
        return operatingSystemVersion() >= version;
    }
};
