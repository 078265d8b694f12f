#pragma once

#include "ScriptRunner.h"

// Understands the one script the app runs, the restart request, and hands it to logind on the
// system bus (Reboot with interaction allowed, so polkit may ask the user). Any other source fails.
class LogindScriptRunner final : public ScriptRunner {
public:
    static constexpr const char* restartSource = "tell application \"Finder\" to restart";

    bool execute(const QString& source, QString& errorInfo) override;
};
