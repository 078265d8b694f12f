#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace ntfs {

// What the system knows about a bus caller: its user as the bus reports it, and whether the
// authorization service grants it an action.
class CallerAuthority {
public:
    virtual ~CallerAuthority() = default;
    // Empty when the bus does not know the name (the caller has gone).
    virtual std::optional<uid_t> userOf(const std::string& busName) = 0;
    // False when no authorization service answers.
    virtual bool isAuthorized(const std::string& busName, const std::string& action, bool allowInteraction) = 0;
};

}  // namespace ntfs
