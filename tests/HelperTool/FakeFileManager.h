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
    struct ShowItemsCall { std::vector<std::string> uris; uid_t callerUid = static_cast<uid_t>(-1); };

    explicit FakeFileManager(const std::string& busAddress)
        : connection_(sdbus::createSessionBusConnectionWithAddress(busAddress)),
          object_(sdbus::createObject(*connection_, "/org/freedesktop/FileManager1"))
    {
        object_->registerMethod("org.freedesktop.FileManager1", "ShowItems", "ass", "", [this](sdbus::MethodCall call) {
            ShowItemsCall recorded{{}, call.getCredsUid()};
            call >> recorded.uris;
            { std::lock_guard lock(mutex_); calls_.push_back(std::move(recorded)); }
            call.createReply().send();
        });
        object_->finishRegistration();
        connection_->requestName("org.freedesktop.FileManager1");
        connection_->enterEventLoopAsync();
    }
    ~FakeFileManager() { connection_->leaveEventLoop(); }

    std::vector<ShowItemsCall> calls() const { std::lock_guard lock(mutex_); return calls_; }

private:
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    mutable std::mutex mutex_;
    std::vector<ShowItemsCall> calls_;
};

}  // namespace ntfs::test
