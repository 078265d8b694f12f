#pragma once

#include <string>
#include <sys/types.h>

namespace ntfs {

// Who sent a request, as the bus reports it (never as the request claims).
struct Caller {
    std::string busName;          // the unique name, ":1.42"
    uid_t uid = static_cast<uid_t>(-1);
    bool allowsInteraction = false;  // the message carried the allow-interactive-authorization flag
};

}  // namespace ntfs
