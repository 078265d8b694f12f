#pragma once

#include <string>

namespace ntfs {

// File URLs of local paths.
class FileUrl {
public:
    // "file://" and the absolute path (a relative one is taken from the current directory), with
    // every byte that a URI path may not hold as it is written %XX.
    static std::string fromPath(const std::string& path);
};

}  // namespace ntfs
