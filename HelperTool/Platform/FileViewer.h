#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace ntfs {

// Shows items in a user's file manager, with those items selected.
class FileViewer {
public:
    struct Outcome {
        bool reached = false;
        std::string problem;  // why no file manager could be reached, for the log
    };

    virtual ~FileViewer() = default;
    // `uris` are file URIs; `user` is the user whose session shows them.
    virtual Outcome showItems(uid_t user, const std::vector<std::string>& uris) = 0;
};

}  // namespace ntfs
