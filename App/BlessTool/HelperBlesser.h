#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace ntfs {
class RegistrationFiles;
}

// The bless step as root: takes the helper that the app carries under a label (only when root
// alone can change it and the folders above it), checks that it is the helper for that label, copies it to the program path of its embedded launchd job and
// registers it (systemd unit, bus activation and policy, polkit action), all below a root folder.
// Where systemd runs the system itself (root "/"), it tells systemd and the bus, enables a helper
// kept alive and (re)starts it.
// Returns a BlessToolStatus exit code and tells what went wrong on the diagnostics stream.
class HelperBlesser {
public:
    static constexpr const char* helperFolder = "/Library/PrivilegedHelperTools";

    HelperBlesser(std::filesystem::path root, std::filesystem::path bundle, std::ostream& diagnostics);

    int blessJobWithLabel(const std::string& label);

    // A label or bus name that is safe as a file name: letters, digits, '.', '_', '-', not
    // starting with '.'.
    static bool isPlainName(const std::string& name);

private:
    struct Embedded {
        std::string infoPlist;
        std::string launchdPlist;
    };
    struct Refusal {
        int status;
        std::string reason;
    };

    static std::optional<Embedded> embeddedPlists(const std::filesystem::path& executable);
    static std::optional<Embedded> embeddedPlists(int fd);
    static std::optional<Refusal> checkHelper(const std::string& label, const Embedded& embedded,
                                              std::optional<ntfs::RegistrationFiles>& registration);
    int install(const std::string& label, const std::string& bytes, const Embedded& checked,
                const ntfs::RegistrationFiles& registration);
    int restartService(const ntfs::RegistrationFiles& registration);
    bool runSystemctl(const std::vector<std::string>& arguments);
    std::filesystem::path underRoot(const std::filesystem::path& path) const;
    int refuse(int status, const std::string& reason);

    std::filesystem::path root_;
    std::filesystem::path bundle_;
    std::ostream& diagnostics_;
};
