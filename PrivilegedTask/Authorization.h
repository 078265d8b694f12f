#pragma once

#include <memory>

namespace ntfs {

// The user's consent to privileged work, as callers of the task runner hold it between steps. On
// Linux consent is asked for when a tool is run (the elevator's prompt), so the token carries
// nothing and nothing consults it: it only lets code written against the runner's API keep its
// shape. Freed with the object.
class Authorization final {
public:
    static std::unique_ptr<Authorization> create() { return std::unique_ptr<Authorization>(new Authorization); }

    Authorization(const Authorization&) = delete;
    Authorization& operator=(const Authorization&) = delete;

private:
    Authorization() = default;
};

}  // namespace ntfs
