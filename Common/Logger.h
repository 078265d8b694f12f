#pragma once

#include <string_view>

namespace ntfs {

// Where diagnostics go: the system log in the programs, a recorder in the tests.
class Logger {
public:
    virtual ~Logger() = default;
    virtual void log(std::string_view line) = 0;
};

}  // namespace ntfs
