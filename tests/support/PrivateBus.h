#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ntfs::test {

struct PrivateBusOptions {
    enum class Kind { System, Session };
    Kind kind = Kind::System;
    std::vector<std::filesystem::path> includes;  // policy files to include, e.g. the shipped one
    std::string extraPolicy;                      // more <policy> elements for the test's own services
};

// A dbus-daemon of our own, listening on a socket in a fresh temporary directory. A system bus
// gets Debian's default system policy; a session bus lets its one user do anything.
class PrivateBus {
public:
    explicit PrivateBus(PrivateBusOptions options = {});
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }
    // "DBUS_SYSTEM_BUS_ADDRESS=..." or "DBUS_SESSION_BUS_ADDRESS=..." for a child's environment.
    std::string environmentEntry() const;
    const std::filesystem::path& directory() const { return dir_.path(); }

private:
    PrivateBusOptions options_;
    TempDir dir_;
    std::unique_ptr<ChildProcess> daemon_;
    std::string address_;
};

}  // namespace ntfs::test
