#pragma once

#include <string>
#include <vector>

namespace ntfs::test {

// What the doubles of one test saw, in order ("text:<key>", "color:<name>", "restart", "exit:0").
struct EventLog {
    std::vector<std::string> events;

    void add(std::string event) { events.push_back(std::move(event)); }
};

}  // namespace ntfs::test
