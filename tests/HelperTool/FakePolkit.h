#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ntfs::test {

// A polkit authority on a private bus that answers every CheckAuthorization with the configured
// yes or no and remembers what it was asked.
class FakePolkit {
public:
    struct Question { std::string subjectKind, subjectName, action; std::uint32_t flags; };

    FakePolkit(const std::string& busAddress, bool answer);
    ~FakePolkit();

    std::vector<Question> questions() const;
    static std::string policy();

private:
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    bool answer_;
    mutable std::mutex mutex_;
    std::vector<Question> questions_;
};

}  // namespace ntfs::test
