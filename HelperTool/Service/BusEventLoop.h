#pragma once

#include "Common/UniqueFd.h"
#include "HelperTool/Service/ReplyQueue.h"

#include <sdbus-c++/IConnection.h>

#include <chrono>
#include <functional>
#include <optional>
#include <poll.h>
#include <span>

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
    // Serves on until `finished` holds (checked whenever work comes in) or the deadline passes;
    // true when finished. Stop signals are no longer watched.
    bool runUntil(const std::function<bool()>& finished, std::chrono::steady_clock::time_point deadline);
    // Runs at the quiet moment before each wait, which ends no later than the time the work
    // returns (after a flood, memory goes back here).
    using QuietWork = std::function<std::optional<std::chrono::steady_clock::time_point>()>;
    void whenQuiet(QuietWork work) { whenQuiet_ = std::move(work); }
    // Ends run() from any thread, as SIGTERM does.
    void requestStop();

private:
    bool stopRequested();
    // One round: serves all that is pending, then waits for more (or for one of the extra
    // descriptors, whose events it fills in); false when the bus is gone.
    bool serveOnce(std::span<pollfd> extra, std::optional<std::chrono::steady_clock::time_point> deadline);

    sdbus::IConnection& connection_;
    ReplyQueue& replies_;
    UniqueFd stopSignals_;
    UniqueFd stopRequest_;
    QuietWork whenQuiet_;
};

}  // namespace ntfs
