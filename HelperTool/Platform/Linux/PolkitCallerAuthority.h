#pragma once

#include "HelperTool/Platform/CallerAuthority.h"

#include <sdbus-c++/IConnection.h>
#include <sdbus-c++/IProxy.h>

#include <memory>

namespace ntfs {

// Asks the bus for a caller's user, and polkit for its authorization, with the caller's unique
// bus name as the subject. Both go over the one connection it is given, as calls whose answers
// arrive while that connection is served, so that one caller waiting at a password prompt holds
// up no one else and no question costs a connection of its own.
class PolkitCallerAuthority final : public CallerAuthority {
public:
    explicit PolkitCallerAuthority(sdbus::IConnection& connection);

    void userOf(const std::string& busName, std::function<void(std::optional<uid_t>)> answer) override;
    void isAuthorized(const std::string& busName, const std::string& action, bool allowInteraction,
                      const std::string& cancellationId, std::function<void(bool)> answer) override;
    void cancel(const std::string& cancellationId) override;

private:
    std::unique_ptr<sdbus::IProxy> bus_;
    std::unique_ptr<sdbus::IProxy> polkit_;
};

}  // namespace ntfs
