#pragma once

#include "Elevator.h"
#include "PkexecElevator.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ntfs::test {

// Runs tools for real (directly, as root would) unless told to answer a program with a status,
// as a dismissed or refused consent prompt would. Records every request.
class ScriptedElevator final : public Elevator {
public:
    struct Launch {
        std::string program;
        std::vector<std::string> arguments;
        std::string workingDirectory;
    };

    bool available() const override { return true; }
    ElevatedLaunch execute(const SpawnRequest& request) override;

    // Answers every later launch of a program (matched by its file name) with this status.
    void answer(const std::string& programName, std::int32_t status) { answers_[programName] = status; }
    void clearAnswers() { answers_.clear(); }

    std::vector<Launch> launches;

private:
    PkexecElevator direct_{PkexecElevatorOptions{"/nonexistent/pkexec", "/nonexistent/trampoline", [] { return true; }}};
    std::map<std::string, std::int32_t> answers_;
};

}  // namespace ntfs::test
