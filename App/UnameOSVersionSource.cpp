#include "UnameOSVersionSource.h"

#include <charconv>
#include <sys/utsname.h>

OperatingSystemVersion UnameOSVersionSource::operatingSystemVersion() const
{
    utsname name{};
    if (uname(&name) != 0)
        return {};
    return parseRelease(name.release);
}

OperatingSystemVersion UnameOSVersionSource::parseRelease(std::string_view release)
{
    int parts[3] = {0, 0, 0};
    const char* next = release.data();
    const char* end = release.data() + release.size();
    for (int& part : parts) {
        auto [stop, error] = std::from_chars(next, end, part);
        if (error != std::errc() || stop == end || *stop != '.')
            break;
        next = stop + 1;
    }
    return {parts[0], parts[1], parts[2]};
}
