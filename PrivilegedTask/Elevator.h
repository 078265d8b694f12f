#pragma once

#include "Common/Subprocess.h"
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ntfs {

// A tool started as root, a released child of this process: its owner reaps it and reads its
// combined output, first `initialOutput`, then the child's output pipe to its end.
struct ElevatedLaunch {
    std::int32_t status = 0;  // an AuthorizationStatus value; the other fields are set only on success
    std::optional<Subprocess> tool;
    std::string initialOutput;

    static ElevatedLaunch failure(std::int32_t status)
    {
        ElevatedLaunch launch;
        launch.status = status;
        return launch;
    }
};

// Runs a tool as root with the user's consent. The call blocks while the user is asked.
class Elevator {
public:
    virtual ~Elevator() = default;

    // Whether tools can be run as root on this system at all.
    virtual bool available() const = 0;
    virtual ElevatedLaunch execute(const SpawnRequest& request) = 0;
};

// The system's own elevator (Linux/: pkexec with the trampoline beside the running executable).
std::shared_ptr<Elevator> systemElevator();

}  // namespace ntfs
