#pragma once

#include "Common/Logger.h"

#include <mutex>
#include <string>

namespace ntfs {

// Writes each line to standard error, which a service manager files in the unit's journal and
// which exists in containers and CI, where a syslog socket may not. When standard error is not
// the journal's stream, each line carries the program's name and pid, as syslog would add them.
class StderrLogger final : public Logger {
public:
    explicit StderrLogger(std::string identity);

    void log(std::string_view line) override;

private:
    std::string prefix_;
    std::mutex mutex_;  // one write per line, so lines of several threads never interleave
};

}  // namespace ntfs
