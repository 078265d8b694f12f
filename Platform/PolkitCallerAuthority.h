#pragma once

#include "CallerAuthority.h"

namespace ntfs {

// Asks the system bus for a caller's user, and polkit for its authorization, with the caller's
// unique bus name as the subject. Each question uses a connection of its own, so that one
// caller waiting at a password prompt holds up no one else.
class PolkitCallerAuthority final : public CallerAuthority {
public:
    std::optional<uid_t> userOf(const std::string& busName) override;
    bool isAuthorized(const std::string& busName, const std::string& action, bool allowInteraction) override;
};

}  // namespace ntfs
