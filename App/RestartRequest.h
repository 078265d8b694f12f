#pragma once

#include <QString>

// The restart screens' action: ask for the restart through the script runner, log the error
// information if that fails, then end the process with status 0 either way.
class RestartRequest {
public:
    static constexpr const char* scriptFormat = "tell application \"Finder\" to %@";
    static constexpr const char* scriptArgument = "restart";

    static QString scriptSource();
    static void perform();
};
