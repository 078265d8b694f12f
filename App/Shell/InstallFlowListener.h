#pragma once

#include "App/Shell/DomainError.h"

#include <QString>

#include <optional>

// What an InstallFlow tells while it runs, each call on the thread that made the flow: the step
// under way, each line the script writes, and how the flow ended.
class InstallFlowListener {
public:
    // What the busy indicator names. Every flow begins with Password (the consent prompt).
    enum class Step { None, Password, Installing, Registering, Uninstalling, Reloading };

    struct Outcome {
        enum class Flow { Install, Uninstall, Reload };
        // Install ends Succeeded (blessed), ScriptFailed or BlessFailed. Uninstall and reload end
        // Succeeded or ScriptFailed by the script's exit status, Cancelled when the consent prompt
        // was dismissed, NotLaunched when the script did not start for another reason.
        enum class Result { Succeeded, ScriptFailed, BlessFailed, Cancelled, NotLaunched };

        Flow flow;
        Result result;
        // An install whose script step failed: the status line and the script's output.
        QString scriptResult = {};
        // An install whose bless failed, where the failure has one.
        std::optional<DomainError> blessError = {};
    };

    virtual void flowStepChanged(Step step) = 0;
    virtual void flowOutputLine(const QString& line) = 0;
    virtual void flowEnded(const Outcome& outcome) = 0;

protected:
    ~InstallFlowListener() = default;
};
