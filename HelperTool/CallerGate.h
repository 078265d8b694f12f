#pragma once

#include "CallerAuthority.h"
#include "Caller.h"
#include "Logger.h"

#include <mutex>
#include <string>
#include <unordered_map>

namespace ntfs {

// Decides whether a caller may use the helper: root may; anyone else only with the
// authorization service's yes for the helper's action. A yes is kept for the caller's unique bus
// name until that name leaves the bus; a no is not kept, so a caller can ask again.
class CallerGate {
public:
    CallerGate(CallerAuthority& authority, std::string action, Logger& log);

    // Fills in the caller's user; true when the caller may go on.
    bool admit(Caller& caller);
    // Whether the caller was admitted before; asks no one. Fills in the caller's user when so.
    bool isAdmitted(Caller& caller) const;
    // The name has left the bus.
    void forget(const std::string& busName);
    std::size_t admittedCount() const;

private:
    CallerAuthority& authority_;
    const std::string action_;
    Logger& log_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, uid_t> admitted_;
};

}  // namespace ntfs
