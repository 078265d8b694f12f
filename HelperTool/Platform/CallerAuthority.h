#pragma once

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace ntfs {

// What the system knows about a bus caller: its user as the bus reports it, and whether the
// authorization service grants it an action. Questions are asked without waiting; each answer
// comes exactly once, later, on the thread that serves the authority's connection (or at once,
// inside the call, when the question cannot even be sent).
class CallerAuthority {
public:
    virtual ~CallerAuthority() = default;
    // Empty when the bus does not know the name (the caller has gone).
    virtual void userOf(const std::string& busName, std::function<void(std::optional<uid_t>)> answer) = 0;
    // False when no authorization service answers, or when the question was cancelled.
    virtual void isAuthorized(const std::string& busName, const std::string& action, bool allowInteraction,
                              const std::string& cancellationId, std::function<void(bool)> answer) = 0;
    // Withdraws an open question (its prompt goes away); its answer still comes, as a no.
    virtual void cancel(const std::string& cancellationId) = 0;
};

}  // namespace ntfs
