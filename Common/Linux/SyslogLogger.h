#pragma once

#include "Common/Logger.h"

#include <string>

namespace ntfs {

// Writes each line to syslog (the journal), tagged with the program's name.
class SyslogLogger final : public Logger {
public:
    explicit SyslogLogger(std::string identity);
    ~SyslogLogger() override;
    SyslogLogger(const SyslogLogger&) = delete;
    SyslogLogger& operator=(const SyslogLogger&) = delete;

    void log(std::string_view line) override;

private:
    std::string identity_;  // openlog keeps the pointer, so the text must outlive the logger
};

}  // namespace ntfs
