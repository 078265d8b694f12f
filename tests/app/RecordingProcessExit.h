#pragma once

#include "EventLog.h"
#include "ProcessExit.h"

namespace ntfs::test {

// Records the status instead of ending the test process.
class RecordingProcessExit final : public ProcessExit {
public:
    explicit RecordingProcessExit(EventLog& log) : log_(log) {}

    void exitNow(int status) override { log_.add("exit:" + std::to_string(status)); }

private:
    EventLog& log_;
};

}  // namespace ntfs::test
