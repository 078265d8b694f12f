#pragma once

#include "PrivilegedTask/Linux/PkexecElevator.h"

// Runs the tool directly (no consent prompt), then keeps the run going until this process ends,
// so that a screenshot can show the installation screen in the middle of its step.
class HoldingElevator final : public ntfs::Elevator {
public:
    bool available() const override { return true; }
    ntfs::ElevatedLaunch execute(const ntfs::SpawnRequest& request) override;

private:
    ntfs::PkexecElevator direct_{{"/nonexistent/pkexec", "/nonexistent/trampoline", [] { return true; }}};
};
