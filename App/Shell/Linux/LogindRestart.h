#pragma once

#include "App/Shell/SystemRestart.h"

// Asks logind on the system bus to reboot (Reboot with interaction allowed, so polkit may ask the
// user).
class LogindRestart final : public SystemRestart {
public:
    bool restart(QString& errorInfo) override;
};
