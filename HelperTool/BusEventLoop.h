#pragma once

#include "ReplyQueue.h"
#include "UniqueFd.h"

#include <sdbus-c++/IConnection.h>

namespace ntfs {

// The helper's main loop: serves the bus connection, sends the replies that workers hand over
// (and flushes them, however large), and ends on SIGTERM or SIGINT.
class BusEventLoop {
public:
    enum class Outcome { Stopped, Failed };

    // Blocks SIGTERM and SIGINT for the whole process; construct before any thread starts.
    BusEventLoop(sdbus::IConnection& connection, ReplyQueue& replies);
    BusEventLoop(const BusEventLoop&) = delete;
    BusEventLoop& operator=(const BusEventLoop&) = delete;

    Outcome run();
    // Ends run() from any thread, as SIGTERM does.
    void requestStop();

private:
    bool stopRequested();

    sdbus::IConnection& connection_;
    ReplyQueue& replies_;
    UniqueFd stopSignals_;
    UniqueFd stopRequest_;
};

}  // namespace ntfs
