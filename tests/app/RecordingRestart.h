#pragma once

#include "EventLog.h"
#include "SystemRestart.h"

namespace ntfs::test {

class RecordingRestart final : public SystemRestart {
public:
    explicit RecordingRestart(EventLog& log) : log_(log) {}

    bool restart(QString& errorInfo) override
    {
        log_.add("restart");
        if (!succeeds)
            errorInfo = failureInfo;
        return succeeds;
    }

    bool succeeds = true;
    QString failureInfo;

private:
    EventLog& log_;
};

}  // namespace ntfs::test
