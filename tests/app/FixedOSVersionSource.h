#pragma once

#include "OSVersionSource.h"

namespace ntfs::test {

class FixedOSVersionSource final : public OSVersionSource {
public:
    explicit FixedOSVersionSource(OperatingSystemVersion initial = {13, 0, 0}) : version(initial) {}

    OperatingSystemVersion operatingSystemVersion() const override { return version; }

    OperatingSystemVersion version;
};

}  // namespace ntfs::test
