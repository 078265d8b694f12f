#pragma once

#include "PrivilegedTask/Elevator.h"

#include <filesystem>
#include <functional>

namespace ntfs {

struct PkexecElevatorOptions {
    std::filesystem::path pkexec = "/usr/bin/pkexec";
    std::filesystem::path trampoline;  // empty: the one installed beside the running executable
    std::function<bool()> isRoot;      // empty: whether the effective user id is 0
};

// Runs a tool as root through pkexec, which asks the user (through the session's polkit agent)
// and then starts our trampoline; the trampoline writes a start marker and execs the tool, so the
// tool keeps the pid of our child. A process that is root already starts the tool directly.
//
// Statuses before the marker: pkexec exit 126 (prompt dismissed) gives canceled, 127 (not
// authorized, authentication failed, or a pkexec error) gives denied, any other end (a signal, the
// trampoline unable to start the tool) or a failed spawn gives toolExecuteFailure.
class PkexecElevator final : public Elevator {
public:
    explicit PkexecElevator(PkexecElevatorOptions options = {});

    static std::filesystem::path trampolineBesideExecutable();

    bool available() const override { return available_; }
    ElevatedLaunch execute(const SpawnRequest& request) override;

private:
    ElevatedLaunch runDirectly(SpawnRequest request) const;
    ElevatedLaunch runThroughPkexec(const SpawnRequest& request) const;

    PkexecElevatorOptions options_;
    bool root_;
    bool available_;
};

}  // namespace ntfs
