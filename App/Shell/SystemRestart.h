#pragma once

#include <QString>

// Asks the system to restart the computer. On failure it returns false and describes the error in
// errorInfo, which the caller logs as it stands.
class SystemRestart {
public:
    virtual ~SystemRestart() = default;
    virtual bool restart(QString& errorInfo) = 0;
};
