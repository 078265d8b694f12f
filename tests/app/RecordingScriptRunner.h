#pragma once

#include "EventLog.h"
#include "ScriptRunner.h"

#include <vector>

namespace ntfs::test {

class RecordingScriptRunner final : public ScriptRunner {
public:
    explicit RecordingScriptRunner(EventLog& log) : log_(log) {}

    bool execute(const QString& source, QString& errorInfo) override
    {
        log_.add("script");
        sources.push_back(source);
        if (!succeeds)
            errorInfo = failureInfo;
        return succeeds;
    }

    bool succeeds = true;
    QString failureInfo;
    std::vector<QString> sources;

private:
    EventLog& log_;
};

}  // namespace ntfs::test
