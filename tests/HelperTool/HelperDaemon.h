#pragma once

#include "HelperTool/Client/HelperToolClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateBus.h"

#include <sdbus-c++/sdbus-c++.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ntfs::test {

struct HelperDaemonOptions {
    std::filesystem::path executable = NTFS_HELPER_EXECUTABLE;
    std::vector<std::string> environment;  // more "NAME=value" entries for the daemon
    std::string extraPolicy;               // bus policy for the test's fake services
    bool captureOutput = false;            // its log lines, for process().readLine(); read them all
};

// The helper daemon running as a real process on a private system bus that includes the bus
// policy we ship; ready (its name taken) when the constructor returns.
class HelperDaemon {
public:
    explicit HelperDaemon(HelperDaemonOptions options = {});
    ~HelperDaemon();

    const PrivateBus& bus() const { return bus_; }
    pid_t pid() const { return daemon_->pid(); }
    ChildProcess& process() { return *daemon_; }
    std::unique_ptr<sdbus::IConnection> connect() const;
    std::unique_ptr<HelperToolClient> client() const;
    // Runs a program with the bus address in its environment, optionally as another user.
    std::pair<int, std::string> runClient(std::vector<std::string> argv, std::optional<uid_t> user = std::nullopt) const;

    static std::string allowingOwnerPolicy(const std::string& serviceName);

private:
    PrivateBus bus_;
    std::unique_ptr<ChildProcess> daemon_;
};

}  // namespace ntfs::test
