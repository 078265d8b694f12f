#pragma once

#include <QString>

// Runs a script source to its end. On failure it returns false and describes the error in
// errorInfo, which the caller logs as it stands.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    virtual bool execute(const QString& source, QString& errorInfo) = 0;
};
