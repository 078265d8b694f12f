#pragma once

#include "Common/Subprocess.h"

#include <optional>

namespace ntfs {

// polkit's text agent (pkttyagent) for this process, while the object lives, so that a user at a
// terminal without a desktop agent can answer the password question there. It only stands in
// (--fallback): a desktop agent of the session, where there is one, still asks.
class PolkitTextAgent {
public:
    // Starts it when we have a controlling terminal and pkttyagent exists, and waits until it is
    // registered; otherwise does nothing.
    PolkitTextAgent();
    bool running() const { return agent_.has_value(); }

private:
    std::optional<Subprocess> agent_;
};

}  // namespace ntfs
