#pragma once

// Ends the process at once with a status, skipping the application's orderly termination.
class ProcessExit {
public:
    virtual ~ProcessExit() = default;
    virtual void exitNow(int status) = 0;
};
