#include "CallerGate.h"

#include "LogFormat.h"

namespace ntfs {

CallerGate::CallerGate(CallerAuthority& authority, std::string action, Logger& log)
    : authority_(authority), action_(std::move(action)), log_(log) {}

bool CallerGate::isAdmitted(Caller& caller) const
{
    std::lock_guard lock(mutex_);
    auto known = admitted_.find(caller.busName);
    if (known == admitted_.end())
        return false;
    caller.uid = known->second;
    return true;
}

bool CallerGate::admit(Caller& caller)
{
    if (isAdmitted(caller))
        return true;
    auto uid = authority_.userOf(caller.busName);
    if (!uid)
        return false;
    caller.uid = *uid;
    bool allowed = *uid == 0 || authority_.isAuthorized(caller.busName, action_, caller.allowsInteraction);
    if (!allowed) {
        log_.log(formatLog("Refused a request from %@ (uid %d): not authorized", caller.busName, static_cast<long long>(*uid)));
        return false;
    }
    std::lock_guard lock(mutex_);
    admitted_.emplace(caller.busName, *uid);
    return true;
}

void CallerGate::forget(const std::string& busName)
{
    std::lock_guard lock(mutex_);
    admitted_.erase(busName);
}

std::size_t CallerGate::admittedCount() const
{
    std::lock_guard lock(mutex_);
    return admitted_.size();
}

}  // namespace ntfs
