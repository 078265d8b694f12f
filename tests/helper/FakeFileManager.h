#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ntfs::test {

// org.freedesktop.FileManager1 on a test's session bus; records each ShowItems call with the
// user id that the bus reports for its sender.
class FakeFileManager {
public:
    struct ShowItemsCall {
        std::vector<std::string> uris;
        std::string startupId;
        uid_t callerUid = static_cast<uid_t>(-1);
    };

    explicit FakeFileManager(const std::string& busAddress);
    ~FakeFileManager();
    FakeFileManager(const FakeFileManager&) = delete;
    FakeFileManager& operator=(const FakeFileManager&) = delete;

    std::vector<ShowItemsCall> calls() const;

private:
    void showItems(sdbus::MethodCall call);

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    mutable std::mutex mutex_;
    std::vector<ShowItemsCall> calls_;
};

}  // namespace ntfs::test
