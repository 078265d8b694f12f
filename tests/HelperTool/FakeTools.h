#pragma once

#include "tests/support/TempDir.h"

#include <string>
#include <vector>

namespace ntfs::test {

// Small /bin/sh scripts standing in for disk tools, written into a temporary directory.
class FakeTools {
public:
    FakeTools() = default;
    FakeTools(const FakeTools&) = delete;
    FakeTools& operator=(const FakeTools&) = delete;

    const TempDir& dir() const { return dir_; }

    // An executable script with this body; returns its path.
    std::string script(const std::string& name, const std::string& body) const;
    // A tool that records its program name and arguments (NUL-separated) and then runs `then`
    // (by default: exit 0).
    std::string recorder(const std::string& name, const std::string& then = "exit 0") const;
    // What a recorder received, program name first; empty when it never ran.
    std::vector<std::string> recorded(const std::string& name) const;

private:
    TempDir dir_;
};

}  // namespace ntfs::test
