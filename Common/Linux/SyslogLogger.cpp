#include "Common/Linux/SyslogLogger.h"

#include <syslog.h>

namespace ntfs {

SyslogLogger::SyslogLogger(std::string identity) : identity_(std::move(identity))
{
    openlog(identity_.c_str(), LOG_PID | LOG_NDELAY, LOG_DAEMON);
}

SyslogLogger::~SyslogLogger() { closelog(); }

void SyslogLogger::log(std::string_view line)
{
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(line.size()), line.data());
}

}  // namespace ntfs
