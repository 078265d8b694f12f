#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ntfs::test {

// A polkit authority on a private bus that answers every CheckAuthorization with the configured
// yes or no and remembers what it was asked. One that holds prompts leaves interactive questions
// unanswered, as a password prompt nobody answers would, until they are cancelled.
class FakePolkit {
public:
    struct Question { std::string subjectKind, subjectName, action; std::uint32_t flags; };

    FakePolkit(const std::string& busAddress, bool answer, bool holdsPrompts = false);
    ~FakePolkit();

    std::vector<Question> questions() const;
    std::size_t cancelled() const;
    // Waits until exactly this many questions are held; false when the time ran out first.
    bool waitUntilHolding(std::size_t count, std::chrono::milliseconds timeout);
    static std::string policy();

private:
    using Verdict = sdbus::Struct<bool, bool, std::map<std::string, std::string>>;

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    bool answer_;
    bool holdsPrompts_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Question> questions_;
    std::map<std::string, sdbus::Result<Verdict>> held_;  // by cancellation id
    std::size_t cancelled_ = 0;
};

}  // namespace ntfs::test
