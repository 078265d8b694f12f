#include "Authorization.h"

#include "AuthorizationStatus.h"

namespace ntfs {

Authorization::Created Authorization::create()
{
    return {AuthorizationStatus::success, std::unique_ptr<Authorization>(new Authorization)};
}

std::int32_t Authorization::copyRights(const std::vector<AuthorizationItem>& rights, std::uint32_t)
{
    rights_.insert(rights_.end(), rights.begin(), rights.end());
    return AuthorizationStatus::success;
}

}  // namespace ntfs
