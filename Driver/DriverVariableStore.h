#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace ntfs {

// The driver's own variables ("vfs.tarnntfs.…"), which on Linux live in the driver's store
// (DriverStore) rather than in the kernel: "vfs.tarnntfs.config.hibernate_check" is the file
// <root>/run/tarn_ntfs/config/hibernate_check, holding the value as decimal text. The driver's
// install makes the config folder at every boot; without it the driver is not there, and a write
// fails with ENOENT, as a kernel variable of a driver that is not loaded would.
class DriverVariableStore {
public:
    static constexpr std::string_view hibernateCheck = "vfs.tarnntfs.config.hibernate_check";

    explicit DriverVariableStore(std::filesystem::path root = "/");

    // Whether the name is one of the driver's (it then belongs here, not under /proc/sys).
    static bool holds(std::string_view name);
    // 0, or the errno of the failure; ENOENT for a name the driver does not offer.
    int write(std::string_view name, std::int64_t value) const;
    // On unless the variable says 0: absent (the default after boot) or unreadable means on, so
    // that a broken store never switches a protection off.
    bool hibernateCheckOn() const;

private:
    std::filesystem::path root_;
};

}  // namespace ntfs
