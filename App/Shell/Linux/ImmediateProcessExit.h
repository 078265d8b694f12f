#pragma once

#include "App/Shell/ProcessExit.h"

// exit(3): the event loop, the window and the delegate's termination hook are left as they are.
class ImmediateProcessExit final : public ProcessExit {
public:
    [[noreturn]] void exitNow(int status) override;
};
