#pragma once

struct AppServices;

// The restart screens' action: ask the system to restart, log the error information if that
// fails, then end the process with status 0 either way.
class RestartRequest {
public:
    static void perform(AppServices& services);
};
