#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ntfs {

// One right asked for: its name and a value (for running a tool as root, the tool's path).
struct AuthorizationItem {
    std::string name;
    std::string value;
    std::uint32_t flags = 0;
};

// The user's consent to privileged work, held by whoever created it and freed with the object.
// On Linux the consent itself is given when a tool is run (the elevator's prompt), so copying
// rights records what was asked for; a root process holds every right from the start.
class Authorization {
public:
    static constexpr std::uint32_t flagDefaults = 0;
    static constexpr std::uint32_t flagInteractionAllowed = 1;
    static constexpr std::uint32_t flagExtendRights = 2;
    static constexpr std::uint32_t flagPreAuthorize = 16;
    static constexpr std::string_view rightExecuteAsRoot = "system.privilege.admin";

    struct Created {
        std::int32_t status;
        std::unique_ptr<Authorization> authorization;  // set exactly when status is success
    };
    // An authorization holding no rights yet.
    static Created create();

    Authorization(const Authorization&) = delete;
    Authorization& operator=(const Authorization&) = delete;
    ~Authorization() = default;

    std::int32_t copyRights(const std::vector<AuthorizationItem>& rights, std::uint32_t flags);
    const std::vector<AuthorizationItem>& rights() const { return rights_; }

private:
    Authorization() = default;

    std::vector<AuthorizationItem> rights_;
};

}  // namespace ntfs
