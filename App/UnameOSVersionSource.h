#pragma once

#include "OSVersionSource.h"

#include <string_view>

// The kernel release (uname), read as major.minor.patch; missing or non-numeric parts count as 0.
class UnameOSVersionSource final : public OSVersionSource {
public:
    OperatingSystemVersion operatingSystemVersion() const override;

    static OperatingSystemVersion parseRelease(std::string_view release);
};
