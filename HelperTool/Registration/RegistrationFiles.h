#pragma once

#include "HelperTool/Registration/PropertyList.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ntfs {

// One file that registers the helper with the system, relative to the file-system root.
struct RegistrationFile {
    std::filesystem::path path;  // e.g. "etc/systemd/system/com.zel.ntfs.HelperTool.service"
    std::string content;
};

// Turns the launchd job that the helper carries into the Linux files that register it: a systemd
// unit, a D-Bus activation file and a bus policy for each service name, and the polkit action that
// guards callers who are not root. KeepAlive becomes Restart=always and a unit that the installer
// enables (started at once and at every boot); without it the bus starts the helper on demand.
class RegistrationFiles {
public:
    static constexpr const char* polkitAction = "com.zel.ntfs.HelperTool.use";

    // Empty when the job lacks its label, its program or its service names.
    static std::optional<RegistrationFiles> fromLaunchdJob(const PropertyList& job);

    const std::string& label() const { return label_; }
    const std::string& program() const { return program_; }
    const std::vector<std::string>& serviceNames() const { return serviceNames_; }
    std::string unitName() const { return label_ + ".service"; }
    bool keepAlive() const { return keepAlive_; }

    std::vector<RegistrationFile> files() const;
    std::string unitFile() const;
    std::string activationFile(const std::string& serviceName) const;
    std::string busPolicy(const std::string& serviceName) const;
    std::string polkitPolicy() const;

private:
    std::string label_;
    std::string program_;
    std::vector<std::string> serviceNames_;
    bool keepAlive_ = false;
};

}  // namespace ntfs
